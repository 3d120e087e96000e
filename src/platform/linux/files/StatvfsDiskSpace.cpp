#include "platform/linux/files/StatvfsDiskSpace.h"

#include <sys/statvfs.h>

namespace tavlo {

std::optional<std::uint64_t> StatvfsDiskSpace::availableBytes(const std::filesystem::path& folder) const {
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
}

}  // namespace tavlo
