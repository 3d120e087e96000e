#include "platform/linux/files/FileDeliveryLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/PlatformError.h"
#include "platform/linux/files/SystemTemporaryFiles.h"

namespace tavlo {

FileDeliveryLock::FileDeliveryLock() : folder_(SystemTemporaryFiles().temporaryDirectory()) {}

FileDeliveryLock::~FileDeliveryLock() { release(); }

bool FileDeliveryLock::tryAcquire() {
    if (descriptor_ >= 0) return true;
    try {
        // Made private, or refused when someone else's.
        SystemTemporaryFiles(folder_).createDirectories(folder_);
    } catch (const PlatformError&) {
        return true;
    }
    const std::filesystem::path file = folder_ / "delivery.lock";
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return true;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        return true;
    }
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return !busy;
    }
    descriptor_ = fd;
    return true;
}

void FileDeliveryLock::release() {
    if (descriptor_ < 0) return;
    ::close(descriptor_);  // drops the lock
    descriptor_ = -1;
}

}  // namespace tavlo
