#include "platform/linux/process/ProcessInfo.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace tavlo {
namespace {

std::optional<std::string> readSmallFile(const std::string& path, std::size_t limit) {
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (file < 0) return std::nullopt;
    std::string content(limit, '\0');
    const ssize_t got = ::read(file, content.data(), limit);
    ::close(file);
    if (got < 0) return std::nullopt;
    content.resize(static_cast<std::size_t>(got));
    return content;
}

std::string procPath(int processIdentifier, const char* entry) {
    return "/proc/" + std::to_string(processIdentifier) + "/" + entry;
}

// Fields 3 to `last` of /proc/PID/stat (index 0 is field 3). The name in
// parentheses may hold spaces and parentheses: fields are counted from the
// last ')'.
std::optional<std::vector<std::string>> statFields(int processIdentifier, int last) {
    if (processIdentifier <= 0) return std::nullopt;
    const auto stat = readSmallFile(procPath(processIdentifier, "stat"), 4096);
    if (!stat) return std::nullopt;
    const std::size_t close = stat->rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::vector<std::string> fields;
    std::size_t position = close + 1;
    for (int field = 3; field <= last; ++field) {
        position = stat->find_first_not_of(' ', position);
        if (position == std::string::npos) return std::nullopt;
        const std::size_t end = std::min(stat->find(' ', position), stat->size());
        fields.push_back(stat->substr(position, end - position));
        position = end;
    }
    return fields;
}

}  // namespace

std::optional<unsigned long long> processStartTime(int processIdentifier) {
    const auto fields = statFields(processIdentifier, 22);
    if (!fields) return std::nullopt;
    return std::strtoull(fields->back().c_str(), nullptr, 10);
}

std::optional<ProcessActivity> processActivity(int processIdentifier) {
    // Field 3 is the state ("T" stopped, "t" stopped by a tracer, "Z" and
    // "X" ended); 14 and 15 the user and system time.
    const auto fields = statFields(processIdentifier, 15);
    if (!fields) return std::nullopt;
    const std::string& state = (*fields)[0];
    if (state == "Z" || state == "X") return std::nullopt;
    ProcessActivity activity;
    activity.stopped = state == "T" || state == "t";
    activity.cpuTicks = std::strtoull((*fields)[11].c_str(), nullptr, 10) + std::strtoull((*fields)[12].c_str(), nullptr, 10);
    return activity;
}

std::optional<std::string> processExecutableName(int processIdentifier) {
    if (processIdentifier <= 0) return std::nullopt;
    std::array<char, 4096> target{};
    const ssize_t length = ::readlink(procPath(processIdentifier, "exe").c_str(), target.data(), target.size() - 1);
    if (length <= 0) return std::nullopt;
    std::string path(target.data(), static_cast<std::size_t>(length));
    // An executable replaced since it started reads "... (deleted)".
    if (path.ends_with(" (deleted)")) path.resize(path.size() - 10);
    const std::size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) return std::nullopt;
    return name;
}

std::optional<std::string> processCommandName(int processIdentifier) {
    if (processIdentifier <= 0) return std::nullopt;
    auto name = readSmallFile(procPath(processIdentifier, "comm"), 64);
    if (!name) return std::nullopt;
    while (!name->empty() && (name->back() == '\n' || name->back() == '\0')) name->pop_back();
    if (name->empty()) return std::nullopt;
    return name;
}

}  // namespace tavlo
