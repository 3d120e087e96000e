#pragma once
// An application running on the desktop, as the controller aims text at it.
#include <optional>
#include <string>

namespace tavlo {

struct RunningApplication {
    int processIdentifier = 0;
    std::optional<std::string> bundleIdentifier;  // the desktop file's id on Linux
    std::optional<std::string> localizedName;
    bool operator==(const RunningApplication&) const = default;
};

}  // namespace tavlo
