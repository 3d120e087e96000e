#pragma once
// The turn of delivering, as an advisory lock (flock) on "delivery.lock" in
// the user's private work folder (see SystemTemporaryFiles). The kernel drops
// the lock when its process ends, so a killed delivery never blocks the next.
#include <filesystem>

#include "platform/DeliveryLock.h"

namespace tavlo {

class FileDeliveryLock final : public DeliveryLock {
public:
    // The user's private folder for work files.
    FileDeliveryLock();
    // A chosen private folder (for tests).
    explicit FileDeliveryLock(std::filesystem::path folder) : folder_(std::move(folder)) {}
    ~FileDeliveryLock() override;
    FileDeliveryLock(const FileDeliveryLock&) = delete;
    FileDeliveryLock& operator=(const FileDeliveryLock&) = delete;

    bool tryAcquire() override;
    void release() override;

private:
    std::filesystem::path folder_;
    int descriptor_ = -1;  // open and locked while the turn is held
};

}  // namespace tavlo
