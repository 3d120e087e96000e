#include "platform/linux/files/XdgDirectories.h"

namespace tavlo {
namespace {

// The rules say a relative path in these variables is invalid and must be ignored.
std::filesystem::path baseFolder(const HostEnvironment& host, const char* variable,
                                 const char* fallbackUnderHome) {
    const auto value = host.variable(variable);
    if (value && !value->empty() && value->front() == '/') return *value;
    return std::filesystem::path(host.homeDirectory()) / fallbackUnderHome;
}

}  // namespace

std::filesystem::path configHome(const HostEnvironment& host) {
    return baseFolder(host, "XDG_CONFIG_HOME", ".config");
}

std::filesystem::path dataHome(const HostEnvironment& host) {
    return baseFolder(host, "XDG_DATA_HOME", ".local/share");
}

std::filesystem::path stateHome(const HostEnvironment& host) {
    return baseFolder(host, "XDG_STATE_HOME", ".local/state");
}

}  // namespace tavlo
