#pragma once
// The user's own files: documents are written atomically with the usual
// permissions, and the documents folder follows the desktop's user folders
// (XDG_DOCUMENTS_DIR in user-dirs.dirs), else ~/Documents.
#include "platform/HostEnvironment.h"
#include "platform/UserFiles.h"

namespace tavlo {

class SystemUserFiles final : public UserFiles {
public:
    explicit SystemUserFiles(const HostEnvironment& host);

    std::filesystem::path writeNewTextFile(const std::filesystem::path& preferred, std::string_view text) override;
    // How many names are tried before giving up ("NAME 100.txt" is the last).
    static constexpr int maximumNames = 100;
    void createDirectories(const std::filesystem::path& folder) override;
    std::optional<std::filesystem::path> documentsDirectory() const override { return documents_; }
    std::filesystem::path temporaryDirectory() const override { return temporary_; }

private:
    std::optional<std::filesystem::path> documents_;
    std::filesystem::path temporary_;
};

// The documents folder named in a user-dirs.dirs file's text, with "$HOME"
// expanded; absent when the text names none or names an unusable path.
std::optional<std::filesystem::path> documentsFolderFromUserDirs(std::string_view userDirsText,
                                                                 const std::filesystem::path& home);

}  // namespace tavlo
