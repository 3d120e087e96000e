#pragma once
// Work files in a folder that belongs to the user alone: "tavlo" in
// $XDG_RUNTIME_DIR when that is set and usable, else "tavlo-UID" in $TMPDIR
// (else /tmp), which every local user can write to. The folder is created
// with mode 0700 and, before every use, checked to be a real folder of this
// user's that nobody else can open; anything else is refused.
#include "platform/TemporaryFiles.h"

namespace tavlo {

class SystemTemporaryFiles final : public TemporaryFiles {
public:
    SystemTemporaryFiles();
    // For tests: a chosen folder in place of the system's (checked the same way).
    explicit SystemTemporaryFiles(std::filesystem::path directory) : directory_(std::move(directory)) {}

    std::filesystem::path temporaryDirectory() const override { return directory_; }
    void createDirectories(const std::filesystem::path& folder) override;
    void copyFile(const std::filesystem::path& from, const std::filesystem::path& to) override;
    void removeFile(const std::filesystem::path& file) noexcept override;

private:
    std::filesystem::path directory_;
};

}  // namespace tavlo
