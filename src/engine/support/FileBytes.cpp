#include "engine/support/FileBytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace tavlo {
namespace {

[[noreturn]] void throwReadError(const std::filesystem::path& file, int error) {
    throw PlatformError("file", error,
                        "The file \"" + file.filename().string() + "\" could not be read: " + std::strerror(error));
}

}  // namespace

std::string readFileBytes(const std::filesystem::path& file) {
    errno = 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(std::fopen(file.c_str(), "rb"), &std::fclose);
    if (!stream) throwReadError(file, errno != 0 ? errno : EIO);
    std::string bytes;
    char chunk[64 * 1024];
    for (;;) {
        const std::size_t count = std::fread(chunk, 1, sizeof chunk, stream.get());
        bytes.append(chunk, count);
        if (count < sizeof chunk) break;
    }
    // A folder opens but cannot be read (EISDIR).
    if (std::ferror(stream.get())) throwReadError(file, errno != 0 ? errno : EIO);
    return bytes;
}

}  // namespace tavlo
