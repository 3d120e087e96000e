#include "platform/linux/SystemUserFiles.h"

#include <cstring>
#include <sstream>
#include <string>
#include <system_error>

#include "platform/PlatformError.h"
#include "platform/linux/AtomicFile.h"
#include "platform/linux/XdgDirectories.h"

namespace tavlo {

std::optional<std::filesystem::path> documentsFolderFromUserDirs(std::string_view userDirsText,
                                                                 const std::filesystem::path& home) {
    // Lines look like XDG_DOCUMENTS_DIR="$HOME/Documents"; only an absolute
    // path or one relative to $HOME is allowed.
    std::istringstream lines{std::string(userDirsText)};
    std::optional<std::filesystem::path> found;
    for (std::string line; std::getline(lines, line);) {
        const std::string key = "XDG_DOCUMENTS_DIR=";
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() < 2 || value.front() != '"' || value.back() != '"') continue;
        value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0) {
            const std::string rest = value.substr(5);
            if (!rest.empty() && rest.front() != '/') continue;
            // "$HOME/" alone means the home folder itself.
            found = rest.size() <= 1 ? home : home / rest.substr(1);
        } else if (!value.empty() && value.front() == '/') {
            found = std::filesystem::path(value);
        }
    }
    return found;
}

SystemUserFiles::SystemUserFiles(const HostEnvironment& host) {
    std::error_code error;
    temporary_ = std::filesystem::temp_directory_path(error);
    if (error) temporary_ = "/tmp";

    const std::string home = host.homeDirectory();
    if (home.empty()) return;
    documents_ = std::filesystem::path(home) / "Documents";
    const FileRead userDirs = readWholeFile(configHome(host) / "user-dirs.dirs");
    if (userDirs.status == FileRead::Status::ok)
        if (auto named = documentsFolderFromUserDirs(userDirs.contents, home)) documents_ = *named;
}

void SystemUserFiles::writeTextAtomically(const std::filesystem::path& file, std::string_view text) {
    const FileWrite written = replaceFileAtomically(file, text, 0644);
    if (!written.ok)
        throw PlatformError("posix", written.errorNumber,
                            "Could not write \"" + file.filename().string() + "\" in \"" +
                                file.parent_path().string() + "\": " + std::strerror(written.errorNumber) + ".");
}

void SystemUserFiles::createDirectories(const std::filesystem::path& folder) {
    std::string reason;
    if (!ensureDirectory(folder, 0755, reason)) {
        if (!reason.empty() && reason.front() >= 'a' && reason.front() <= 'z') reason.front() -= 'a' - 'A';
        throw PlatformError("posix", 0, reason + ".");
    }
}

}  // namespace tavlo
