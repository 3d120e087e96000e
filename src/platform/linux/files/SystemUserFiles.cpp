#include "platform/linux/files/SystemUserFiles.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <system_error>

#include "platform/PlatformError.h"
#include "platform/linux/files/AtomicFile.h"
#include "platform/linux/files/XdgDirectories.h"

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

namespace {

[[noreturn]] void throwWriteError(const std::filesystem::path& file, int number) {
    throw PlatformError("posix", number,
                        "Could not write \"" + file.filename().string() + "\" in \"" + file.parent_path().string() +
                            "\": " + std::strerror(number) + ".");
}

std::filesystem::path numberedName(const std::filesystem::path& preferred, int number) {
    if (number == 1) return preferred;
    return preferred.parent_path() /
           (preferred.stem().string() + " " + std::to_string(number) + preferred.extension().string());
}

// A hidden file beside the target, created new (never an existing file or a
// link), with the mode the user's umask gives new files.
int createHiddenCopy(const std::filesystem::path& preferred, std::filesystem::path& copy) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
        copy = preferred.parent_path() / ("." + preferred.filename().string() + "." + suffix);
        const int descriptor = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (descriptor >= 0 || errno != EEXIST) return descriptor;
    }
    return -1;
}

bool writeAll(int descriptor, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(descriptor, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return ::fsync(descriptor) == 0;
}

// Gives the finished copy its name unless that name is taken (by anything,
// a link included); true when it was given, false with errno otherwise.
bool nameWithoutReplacing(const std::filesystem::path& copy, const std::filesystem::path& name) {
    if (::renameat2(AT_FDCWD, copy.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without that kind of rename: a hard link never replaces
    // either.
    if (::link(copy.c_str(), name.c_str()) != 0) return false;
    ::unlink(copy.c_str());
    return true;
}

}  // namespace

std::filesystem::path SystemUserFiles::writeNewTextFile(const std::filesystem::path& preferred, std::string_view text) {
    std::filesystem::path copy;
    const int descriptor = createHiddenCopy(preferred, copy);
    if (descriptor < 0) throwWriteError(preferred, errno);
    const bool complete = writeAll(descriptor, text);
    const int writeError = errno;
    ::close(descriptor);
    if (!complete) {
        ::unlink(copy.c_str());
        throwWriteError(preferred, writeError);
    }
    for (int number = 1; number <= maximumNames; ++number) {
        const std::filesystem::path name = numberedName(preferred, number);
        if (nameWithoutReplacing(copy, name)) return name;
        if (errno == EEXIST) continue;
        const int failure = errno;
        ::unlink(copy.c_str());
        throwWriteError(name, failure);
    }
    ::unlink(copy.c_str());
    throwWriteError(numberedName(preferred, maximumNames), EEXIST);
}

void SystemUserFiles::createDirectories(const std::filesystem::path& folder) {
    std::string reason;
    if (!ensureDirectory(folder, 0755, reason)) {
        if (!reason.empty() && reason.front() >= 'a' && reason.front() <= 'z') reason.front() -= 'a' - 'A';
        throw PlatformError("posix", 0, reason + ".");
    }
}

}  // namespace tavlo
