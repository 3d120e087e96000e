#pragma once
// Facts about the machine and the user that settings logic depends on: the
// environment, the home directory and whether files exist. Kept behind a port so
// tests never depend on the machine they run on.
#include <optional>
#include <string>
#include <string_view>

namespace tavlo {

class HostEnvironment {
public:
    virtual ~HostEnvironment() = default;

    // An environment variable; absent when it is not set.
    virtual std::optional<std::string> variable(std::string_view name) const = 0;
    // The user's home directory, without a trailing slash.
    virtual std::string homeDirectory() const = 0;
    virtual bool isExecutableFile(const std::string& path) const = 0;
    virtual bool fileExists(const std::string& path) const = 0;
};

}  // namespace tavlo
