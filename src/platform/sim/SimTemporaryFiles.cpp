#include "platform/sim/SimTemporaryFiles.h"

#include <utility>

namespace tavlo {

void SimTemporaryFiles::createDirectories(const std::filesystem::path& folder) {
    std::lock_guard lock(mutex_);
    if (createError_) throw *createError_;
    created_.push_back(folder);
}

void SimTemporaryFiles::copyFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::lock_guard lock(mutex_);
    if (copyError_) throw *copyError_;
    copies_.emplace_back(from, to);
}

void SimTemporaryFiles::setCopyError(std::optional<PlatformError> error) {
    std::lock_guard lock(mutex_);
    copyError_ = std::move(error);
}

std::vector<std::pair<std::filesystem::path, std::filesystem::path>> SimTemporaryFiles::copies() const {
    std::lock_guard lock(mutex_);
    return copies_;
}

void SimTemporaryFiles::removeFile(const std::filesystem::path& file) noexcept {
    std::lock_guard lock(mutex_);
    removed_.push_back(file);
}

void SimTemporaryFiles::setCreateError(std::optional<PlatformError> error) {
    std::lock_guard lock(mutex_);
    createError_ = std::move(error);
}

std::vector<std::filesystem::path> SimTemporaryFiles::createdFolders() const {
    std::lock_guard lock(mutex_);
    return created_;
}

std::vector<std::filesystem::path> SimTemporaryFiles::removedFiles() const {
    std::lock_guard lock(mutex_);
    return removed_;
}

}  // namespace tavlo
