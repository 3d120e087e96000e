#include "platform/linux/files/AtomicFile.h"

#include "platform/linux/files/FileDescriptor.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace tavlo {
namespace {

std::string errnoText(int error) { return std::strerror(error); }

FileIdentity identityFrom(const struct stat& info) {
    return FileIdentity{info.st_dev, info.st_ino, info.st_size, info.st_mtim};
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool writeAll(int fd, std::string_view contents) {
    while (!contents.empty()) {
        const ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        contents.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

void syncDirectory(const std::filesystem::path& directory) {
    Descriptor fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

std::string timestampForName() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    ::gmtime_r(&now, &parts);
    std::array<char, 32> text{};
    std::strftime(text.data(), text.size(), "%Y%m%d-%H%M%S", &parts);
    return text.data();
}

}  // namespace

bool FileIdentity::operator==(const FileIdentity& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           sameTime(modified, other.modified);
}

FileRead readWholeFile(const std::filesystem::path& path, bool noFollow) {
    FileRead result;
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0)));
    if (fd.get() < 0) {
        result.status = errno == ENOENT ? FileRead::Status::missing : FileRead::Status::cannotOpen;
        result.error = errnoText(errno);
        return result;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        result.error = errnoText(errno);
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.error = "not a regular file";
        return result;
    }
    std::array<char, 65536> buffer{};
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer.data(), buffer.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            result.error = errnoText(errno);
            return result;
        }
        if (count == 0) break;
        result.contents.append(buffer.data(), static_cast<std::size_t>(count));
    }
    result.identity = identityFrom(info);
    result.status = FileRead::Status::ok;
    return result;
}

std::optional<FileIdentity> currentIdentity(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return identityFrom(info);
}

bool ensureDirectory(const std::filesystem::path& directory, mode_t mode, std::string& error) {
    struct stat info {};
    if (::stat(directory.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return true;
        error = directory.string() + " is not a folder";
        return false;
    }
    const auto parent = directory.parent_path();
    if (!parent.empty() && parent != directory && !ensureDirectory(parent, mode, error)) return false;
    if (::mkdir(directory.c_str(), mode) != 0 && errno != EEXIST) {
        error = "cannot create " + directory.string() + ": " + errnoText(errno);
        return false;
    }
    return true;
}

FileWrite replaceFileAtomically(const std::filesystem::path& path, std::string_view contents,
                                mode_t mode) {
    FileWrite result;
    const auto directory = path.parent_path();
    std::string pattern = (directory / ("." + path.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');

    Descriptor fd(::mkostemp(name.data(), O_CLOEXEC));  // mode 0600
    if (fd.get() < 0) {
        result.errorNumber = errno;
        result.error = "cannot create a file in " + directory.string() + ": " + errnoText(errno);
        return result;
    }
    const std::filesystem::path temporary(name.data());
    auto fail = [&](const std::string& what) {
        result.errorNumber = errno;
        result.error = what + ": " + errnoText(errno);
        ::unlink(temporary.c_str());
        return result;
    };
    if (mode != 0600 && ::fchmod(fd.get(), mode) != 0) return fail("cannot set the mode of " + temporary.string());
    if (!writeAll(fd.get(), contents)) return fail("cannot write " + temporary.string());
    if (::fsync(fd.get()) != 0) return fail("cannot flush " + temporary.string());
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return fail("cannot inspect " + temporary.string());
    if (!fd.close()) return fail("cannot close " + temporary.string());
    if (::rename(temporary.c_str(), path.c_str()) != 0) return fail("cannot replace " + path.string());
    syncDirectory(directory);

    // Renaming keeps the inode, size and modification time, so this is the
    // identity of the file now in place (taken before, so no race with a writer
    // that replaces it right after).
    result.identity = identityFrom(info);
    result.ok = true;
    return result;
}

std::optional<std::filesystem::path> writeCopyBeside(const std::filesystem::path& path, std::string_view label,
                                                     std::string_view contents, std::string& error) {
    const std::string base = path.string() + "." + std::string(label) + "-" + timestampForName();
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const std::string candidate = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        Descriptor fd(::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd.get() < 0) {
            if (errno == EEXIST) continue;
            error = errnoText(errno);
            return std::nullopt;
        }
        if (!writeAll(fd.get(), contents) || ::fsync(fd.get()) != 0 || !fd.close()) {
            error = errnoText(errno);
            ::unlink(candidate.c_str());
            return std::nullopt;
        }
        syncDirectory(path.parent_path());
        return std::filesystem::path(candidate);
    }
    error = "too many kept files";
    return std::nullopt;
}

void removeStaleWriteCopies(const std::filesystem::path& path, std::chrono::seconds olderThan) {
    const std::string prefix = "." + path.filename().string() + ".";
    constexpr std::size_t suffixLength = 6;  // the XXXXXX of mkostemp
    const auto directory = path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
    Descriptor folder(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) return;
    std::error_code error;
    const std::time_t now = std::time(nullptr);
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != prefix.size() + suffixLength || !name.starts_with(prefix)) continue;
        struct stat info {};
        if (::fstatat(folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) continue;
        if (now - info.st_mtim.tv_sec <= olderThan.count()) continue;
        ::unlinkat(folder.get(), name.c_str(), 0);
    }
}

std::optional<std::filesystem::path> keepAside(const std::filesystem::path& path, std::string& error) {
    const std::string base = path.string() + ".damaged-" + timestampForName();
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const std::string candidate = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE) == 0) {
            syncDirectory(path.parent_path());
            return std::filesystem::path(candidate);
        }
        if (errno == EEXIST) continue;
        if (errno == EINVAL || errno == ENOSYS) {
            // The file system cannot refuse to overwrite: check by hand.
            if (::access(candidate.c_str(), F_OK) == 0) continue;
            if (::rename(path.c_str(), candidate.c_str()) == 0) return std::filesystem::path(candidate);
        }
        error = errnoText(errno);
        return std::nullopt;
    }
    error = "too many kept files";
    return std::nullopt;
}

}  // namespace tavlo
