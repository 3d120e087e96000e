#include "platform/linux/files/FileDeliveryLock.h"

#include <unistd.h>

#include "platform/linux/files/PrivateFileLock.h"
#include "platform/linux/files/SystemTemporaryFiles.h"

namespace tavlo {

FileDeliveryLock::FileDeliveryLock() : folder_(SystemTemporaryFiles().temporaryDirectory()) {}

FileDeliveryLock::~FileDeliveryLock() { release(); }

bool FileDeliveryLock::tryAcquire() {
    if (descriptor_ >= 0) return true;
    const PrivateFileLock lock = tryLockPrivateFile(folder_, "delivery.lock");
    if (lock.outcome == PrivateFileLock::Outcome::busy) return false;
    descriptor_ = lock.descriptor;
    return true;
}

void FileDeliveryLock::release() {
    if (descriptor_ < 0) return;
    ::close(descriptor_);  // drops the lock
    descriptor_ = -1;
}

}  // namespace tavlo
