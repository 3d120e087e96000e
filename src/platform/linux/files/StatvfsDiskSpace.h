#pragma once
// Free space as statvfs reports it for unprivileged users.
#include "platform/DiskSpace.h"

namespace tavlo {

class StatvfsDiskSpace final : public DiskSpace {
public:
    std::optional<std::uint64_t> availableBytes(const std::filesystem::path& folder) const override;
};

}  // namespace tavlo
