#pragma once
// Small files that must survive crashes: written to a temporary file in the same
// folder, flushed to disk and renamed over the old one, so a reader (or the next
// start after a crash) sees either the old or the new contents, never a mix.
#include <sys/types.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tavlo {

// What identifies one version of a file on disk; another process's replace or
// edit changes at least one of these.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    bool operator==(const FileIdentity& other) const;
};

struct FileRead {
    // cannotOpen: the file is there but could not be opened (permission
    // denied, say); failed: it was opened but is no regular file or could not
    // be read.
    enum class Status { ok, missing, cannotOpen, failed };
    Status status = Status::failed;
    std::string contents;
    FileIdentity identity;
    std::string error;  // why it failed
};

// Reads the whole file. With noFollow a symbolic link is refused.
FileRead readWholeFile(const std::filesystem::path& path, bool noFollow = false);

// The identity of the file now, or absent when there is none.
std::optional<FileIdentity> currentIdentity(const std::filesystem::path& path);

// Creates the folder and any missing parents with the given mode.
bool ensureDirectory(const std::filesystem::path& directory, mode_t mode, std::string& error);

struct FileWrite {
    bool ok = false;
    FileIdentity identity;  // of the new file when ok
    std::string error;
    int errorNumber = 0;  // the errno behind error
};

// Replaces the file atomically with the contents. The new file has mode 0600
// unless another mode is given (documents for the user get 0644).
FileWrite replaceFileAtomically(const std::filesystem::path& path, std::string_view contents,
                                mode_t mode = 0600);

// Copies that replaceFileAtomically leaves behind when its process is killed
// mid-write (".NAME.XXXXXX" beside the file) and that were last changed more
// than `olderThan` ago are removed; only the caller's own regular files are
// touched. Call it while holding the lock that writers of the file take.
void removeStaleWriteCopies(const std::filesystem::path& path, std::chrono::seconds olderThan);

// Writes the contents to a new file beside `path`, named
// "<path>.<label>-<UTC date and time>" (with "-2", "-3"... when taken), mode
// 0600, never overwriting or following anything; the new path, or absent with
// the reason in error.
std::optional<std::filesystem::path> writeCopyBeside(const std::filesystem::path& path, std::string_view label,
                                                     std::string_view contents, std::string& error);

// Renames a file that cannot be used to a new name beside it, such as
// "settings.json.damaged-20260105-093000", never overwriting anything; the new
// path, or absent with the reason in error.
std::optional<std::filesystem::path> keepAside(const std::filesystem::path& path, std::string& error);

}  // namespace tavlo
