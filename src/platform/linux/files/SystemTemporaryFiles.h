#pragma once
// Work files in a folder that belongs to the user alone: "tavlo" in
// $XDG_RUNTIME_DIR when that is set and usable, else "tavlo-UID" in $TMPDIR
// (else /tmp), which every local user can write to. The folder is created
// with mode 0700 and, before every use, checked to be a real folder of this
// user's that nobody else can open; anything else is refused.
#include <memory>

#include "platform/TemporaryFiles.h"

namespace tavlo {

class SystemTemporaryFiles final : public TemporaryFiles {
public:
    SystemTemporaryFiles();
    // A folder of this process's own inside the private folder
    // ("run-PID-XXXXXXXX"), held by a lock while the object lives and removed
    // with it, whatever was left inside. Folders of earlier runs whose lock
    // nobody holds (their program was killed) are removed first. When the
    // private folder cannot be used, the plain one is returned, so the
    // refusal reaches the user at the first use.
    static std::shared_ptr<SystemTemporaryFiles> forThisProcess();
    // Same, inside a chosen folder (for tests).
    static std::shared_ptr<SystemTemporaryFiles> forThisProcess(const std::filesystem::path& root);
    // The private folder itself, made when missing; throws PlatformError
    // when it is not a real folder of this user's closed to everyone else.
    static std::filesystem::path privateFolder();
    ~SystemTemporaryFiles() override;
    SystemTemporaryFiles(const SystemTemporaryFiles&) = delete;
    SystemTemporaryFiles& operator=(const SystemTemporaryFiles&) = delete;
    // For tests: a chosen folder in place of the system's (checked the same way).
    explicit SystemTemporaryFiles(std::filesystem::path directory) : directory_(std::move(directory)) {}

    std::filesystem::path temporaryDirectory() const override { return directory_; }
    void createDirectories(const std::filesystem::path& folder) override;
    void copyFile(const std::filesystem::path& from, const std::filesystem::path& to) override;
    void removeFile(const std::filesystem::path& file) noexcept override;

private:
    std::filesystem::path directory_;
    // The lock that marks the process folder as in use; -1 when none.
    int lockDescriptor_ = -1;
};

}  // namespace tavlo
