#include "platform/linux/SystemTemporaryFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>
#include <utility>

#include "platform/PlatformError.h"
#include "platform/linux/FileDescriptor.h"

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

SystemTemporaryFiles::SystemTemporaryFiles() {
    std::error_code error;
    directory_ = std::filesystem::temp_directory_path(error);
    if (error) directory_ = "/tmp";
}

void SystemTemporaryFiles::createDirectories(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw fileError("create the folder", folder, error.value());
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
