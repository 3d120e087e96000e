#pragma once
// Work files in the system's temporary folder ($TMPDIR, else /tmp).
#include "platform/TemporaryFiles.h"

namespace tavlo {

class SystemTemporaryFiles final : public TemporaryFiles {
public:
    SystemTemporaryFiles();
    // For tests: a chosen folder in place of the system's.
    explicit SystemTemporaryFiles(std::filesystem::path directory) : directory_(std::move(directory)) {}

    std::filesystem::path temporaryDirectory() const override { return directory_; }
    void createDirectories(const std::filesystem::path& folder) override;
    void copyFile(const std::filesystem::path& from, const std::filesystem::path& to) override;
    void removeFile(const std::filesystem::path& file) noexcept override;

private:
    std::filesystem::path directory_;
};

}  // namespace tavlo
