#include "platform/linux/system/SystemHostEnvironment.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace tavlo {

std::optional<std::string> SystemHostEnvironment::variable(std::string_view name) const {
    const char* value = std::getenv(std::string(name).c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

std::string SystemHostEnvironment::homeDirectory() const {
    std::string home;
    if (const char* fromEnvironment = std::getenv("HOME"); fromEnvironment && fromEnvironment[0] == '/') {
        home = fromEnvironment;
    } else {
        std::vector<char> buffer(16384);
        passwd entry{};
        passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
            found->pw_dir)
            home = found->pw_dir;
    }
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home.empty() ? "/" : home;
}

bool SystemHostEnvironment::isExecutableFile(const std::string& path) const {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool SystemHostEnvironment::fileExists(const std::string& path) const {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace tavlo
