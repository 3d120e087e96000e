#include "platform/linux/files/PrivateFileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/PlatformError.h"
#include "platform/linux/files/SystemTemporaryFiles.h"

namespace tavlo {

PrivateFileLock tryLockPrivateFile(const std::filesystem::path& folder, const char* name) {
    try {
        // Made private, or refused when someone else's.
        SystemTemporaryFiles(folder).createDirectories(folder);
    } catch (const PlatformError&) {
        return {};
    }
    const std::filesystem::path file = folder / name;
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return {};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        return {};
    }
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return {busy ? PrivateFileLock::Outcome::busy : PrivateFileLock::Outcome::unusable, -1};
    }
    return {PrivateFileLock::Outcome::held, fd};
}

}  // namespace tavlo
