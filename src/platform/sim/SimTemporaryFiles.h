#pragma once
// A temporary directory that exists only as names: the folders created and
// the files removed are recorded for the test.
#include <filesystem>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "platform/PlatformError.h"
#include "platform/TemporaryFiles.h"

namespace tavlo {

class SimTemporaryFiles final : public TemporaryFiles {
public:
    explicit SimTemporaryFiles(std::filesystem::path directory = "/virtual/tmp")
        : directory_(std::move(directory)) {}

    std::filesystem::path temporaryDirectory() const override { return directory_; }
    void createDirectories(const std::filesystem::path& folder) override;
    void copyFile(const std::filesystem::path& from, const std::filesystem::path& to) override;
    void removeFile(const std::filesystem::path& file) noexcept override;

    // Makes creating folders fail with this error.
    void setCreateError(std::optional<PlatformError> error);
    // Makes copying fail with this error.
    void setCopyError(std::optional<PlatformError> error);
    std::vector<std::filesystem::path> createdFolders() const;
    // Each copy made, as (from, to).
    std::vector<std::pair<std::filesystem::path, std::filesystem::path>> copies() const;
    std::vector<std::filesystem::path> removedFiles() const;

private:
    const std::filesystem::path directory_;
    mutable std::mutex mutex_;
    std::optional<PlatformError> createError_;
    std::optional<PlatformError> copyError_;
    std::vector<std::pair<std::filesystem::path, std::filesystem::path>> copies_;
    std::vector<std::filesystem::path> created_;
    std::vector<std::filesystem::path> removed_;
};

}  // namespace tavlo
