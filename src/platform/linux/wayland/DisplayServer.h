#pragma once
// Which display server the desktop program speaks to, chosen once at start:
// Wayland where the session is a Wayland one (WAYLAND_DISPLAY set), X11
// where only DISPLAY is; TAVLO_DISPLAY_SERVER=x11|wayland overrides the
// choice (for support, and for an X11 program on XWayland on purpose).
#include <optional>
#include <string>
#include <string_view>

#include "platform/HostEnvironment.h"

namespace tavlo::wayland {

enum class DisplayServer { x11, wayland };

struct DisplayServerChoice {
    std::optional<DisplayServer> server;
    // Why none could be chosen, as a line for the terminal.
    std::string problem;
};

DisplayServerChoice chooseDisplayServer(const HostEnvironment& host);

std::string_view name(DisplayServer server);

}  // namespace tavlo::wayland
