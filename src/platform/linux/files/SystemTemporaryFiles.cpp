#include "platform/linux/files/SystemTemporaryFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <random>
#include <string_view>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <utility>

#include "platform/PlatformError.h"
#include "platform/linux/files/FileDescriptor.h"

namespace tavlo {
namespace {

// "Could not read “name”: No such file or directory." - the user sees this
// when a file cannot be transcribed, so it names the file, not a work path.
PlatformError fileError(const char* action, const std::filesystem::path& file, int error) {
    return PlatformError("posix", error,
                         std::string("Could not ") + action + " \"" + file.filename().string() +
                             "\": " + std::strerror(error) + ".");
}

}  // namespace

namespace {

// The runtime folder counts when it is an absolute path to a real folder of
// this user's that only the user can open, as the desktop sets it up.
bool usableRuntimeFolder(const char* value) {
    if (value == nullptr || value[0] != '/') return false;
    struct stat info {};
    return ::lstat(value, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & 077) == 0;
}

PlatformError notPrivate(const std::filesystem::path& folder) {
    return PlatformError("posix", EPERM,
                         "The work folder \"" + folder.string() +
                             "\" is not private to this user: it must be a folder (not a link) owned by this user "
                             "that no one else can open. Remove it and try again.");
}

// Creates the folder with mode 0700 when missing, then makes sure it is a
// real folder (not a link to one), ours, and closed to everyone else.
void makePrivateFolder(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) throw fileError("create the folder", folder, errno);
    Descriptor opened(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (opened.get() < 0) {
        if (errno == ELOOP || errno == ENOTDIR) throw notPrivate(folder);
        throw fileError("open the folder", folder, errno);
    }
    struct stat info {};
    if (::fstat(opened.get(), &info) != 0) throw fileError("open the folder", folder, errno);
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 077) != 0) throw notPrivate(folder);
}

}  // namespace

namespace {

constexpr std::string_view processFolderPrefix = "run-";
constexpr const char* lockName = "lock";
// A folder being set up has no lock file for a moment; only older ones
// without it are taken for leftovers.
constexpr auto setUpGrace = std::chrono::minutes(1);

bool lockedByNobody(const std::filesystem::path& folder) {
    Descriptor lock(::open((folder / lockName).c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    if (lock.get() < 0) {
        if (errno != ENOENT) return false;
        std::error_code error;
        const auto changed = std::filesystem::last_write_time(folder, error);
        return !error && std::filesystem::file_time_type::clock::now() - changed > setUpGrace;
    }
    // Taken at once: the process that held it is gone (a lock dies with its
    // holder). The descriptor closes, and the lock goes, with `lock`.
    return ::flock(lock.get(), LOCK_EX | LOCK_NB) == 0;
}

// Removes the process folders of runs that ended without cleaning up.
void removeLeftovers(const std::filesystem::path& root) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(root, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(processFolderPrefix, 0) != 0) continue;
        std::error_code statusError;
        // Only real folders: a link is left alone, never followed.
        if (!entry.is_directory(statusError) || entry.is_symlink(statusError)) continue;
        if (lockedByNobody(entry.path())) std::filesystem::remove_all(entry.path(), statusError);
    }
}

}  // namespace

std::filesystem::path SystemTemporaryFiles::privateFolder() {
    std::filesystem::path folder = SystemTemporaryFiles().temporaryDirectory();
    makePrivateFolder(folder);
    return folder;
}

std::shared_ptr<SystemTemporaryFiles> SystemTemporaryFiles::forThisProcess() {
    return forThisProcess(SystemTemporaryFiles().temporaryDirectory());
}

std::shared_ptr<SystemTemporaryFiles> SystemTemporaryFiles::forThisProcess(const std::filesystem::path& root) {
    try {
        makePrivateFolder(root);
    } catch (const PlatformError&) {
        return std::make_shared<SystemTemporaryFiles>(root);
    }
    removeLeftovers(root);
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
        const std::filesystem::path folder =
            root / (std::string(processFolderPrefix) + std::to_string(::getpid()) + "-" + suffix);
        if (::mkdir(folder.c_str(), 0700) != 0) {
            if (errno == EEXIST) continue;
            break;
        }
        const int lock = ::open((folder / lockName).c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (lock < 0 || ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
            if (lock >= 0) ::close(lock);
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
            break;
        }
        auto files = std::make_shared<SystemTemporaryFiles>(folder);
        files->lockDescriptor_ = lock;
        return files;
    }
    return std::make_shared<SystemTemporaryFiles>(root);
}

SystemTemporaryFiles::~SystemTemporaryFiles() {
    if (lockDescriptor_ < 0) return;
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
    ::close(lockDescriptor_);
}

SystemTemporaryFiles::SystemTemporaryFiles() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); usableRuntimeFolder(runtime)) {
        directory_ = std::filesystem::path(runtime) / "tavlo";
        return;
    }
    std::error_code error;
    std::filesystem::path shared = std::filesystem::temp_directory_path(error);
    if (error) shared = "/tmp";
    directory_ = shared / ("tavlo-" + std::to_string(::geteuid()));
}

void SystemTemporaryFiles::createDirectories(const std::filesystem::path& folder) {
    makePrivateFolder(directory_);
    const std::filesystem::path inside = folder.lexically_normal().lexically_relative(directory_);
    if (inside.empty() || *inside.begin() == "..")
        throw PlatformError("posix", EINVAL, "Work files belong in \"" + directory_.string() + "\".");
    std::filesystem::path current = directory_;
    for (const auto& part : inside) {
        if (part == ".") continue;
        current /= part;
        makePrivateFolder(current);
    }
}

void SystemTemporaryFiles::copyFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    // Opened without waiting, so a named pipe cannot hold the program until
    // someone writes to it; anything but a regular file is refused before a
    // byte is read (a folder, a pipe, a device such as /dev/zero).
    Descriptor source(::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (source.get() < 0) throw fileError("read", from, errno);
    struct stat info {};
    if (::fstat(source.get(), &info) != 0) throw fileError("read", from, errno);
    if (!S_ISREG(info.st_mode))
        throw PlatformError("posix", EINVAL,
                            "\"" + from.filename().string() +
                                "\" is not a regular file; only audio or video files can be transcribed.");
    const int flags = ::fcntl(source.get(), F_GETFL);
    if (flags < 0 || ::fcntl(source.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) throw fileError("read", from, errno);

    Descriptor target(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (target.get() < 0) throw fileError("create the work copy of", from, errno);
    auto fail = [&](const char* action, const std::filesystem::path& file) {
        const int error = errno;
        target.close();
        ::unlink(to.c_str());
        return fileError(action, file, error);
    };
    std::array<char, 1 << 16> buffer{};
    for (;;) {
        const ssize_t count = ::read(source.get(), buffer.data(), buffer.size());
        if (count == 0) break;
        if (count < 0) {
            if (errno == EINTR) continue;
            throw fail("read", from);
        }
        for (ssize_t written = 0; written < count;) {
            const ssize_t n = ::write(target.get(), buffer.data() + written, static_cast<size_t>(count - written));
            if (n < 0) {
                if (errno == EINTR) continue;
                throw fail("write the work copy of", from);
            }
            written += n;
        }
    }
    if (!target.close()) {
        const int error = errno;
        ::unlink(to.c_str());
        throw fileError("write the work copy of", from, error);
    }
}

void SystemTemporaryFiles::removeFile(const std::filesystem::path& file) noexcept {
    ::unlink(file.c_str());
}

}  // namespace tavlo
