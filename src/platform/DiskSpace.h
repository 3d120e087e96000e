#pragma once
// How much room is left on the file system that holds a folder, asked before
// a large download so it fails at once instead of near its end.
#include <cstdint>
#include <filesystem>
#include <optional>

namespace tavlo {

class DiskSpace {
public:
    virtual ~DiskSpace() = default;
    // Bytes an ordinary user may still write there; absent when unknown.
    virtual std::optional<std::uint64_t> availableBytes(const std::filesystem::path& folder) const = 0;
};

}  // namespace tavlo
