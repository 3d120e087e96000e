#include "platform/linux/wayland/DisplayServer.h"

namespace tavlo::wayland {
namespace {

bool isSet(const HostEnvironment& host, std::string_view variable) {
    const auto value = host.variable(variable);
    return value && !value->empty();
}

}  // namespace

DisplayServerChoice chooseDisplayServer(const HostEnvironment& host) {
    const bool wayland = isSet(host, "WAYLAND_DISPLAY");
    const bool x11 = isSet(host, "DISPLAY");
    const auto wanted = host.variable("TAVLO_DISPLAY_SERVER");
    if (wanted && !wanted->empty()) {
        if (*wanted == "wayland") {
            if (wayland) return {DisplayServer::wayland, {}};
            return {std::nullopt, "tavlo: TAVLO_DISPLAY_SERVER=wayland, but no Wayland display (is WAYLAND_DISPLAY set?)"};
        }
        if (*wanted == "x11") {
            if (x11) return {DisplayServer::x11, {}};
            return {std::nullopt, "tavlo: no X11 display: the desktop program needs an X11 session (is DISPLAY set?)"};
        }
        return {std::nullopt, "tavlo: TAVLO_DISPLAY_SERVER must be x11 or wayland"};
    }
    if (wayland) return {DisplayServer::wayland, {}};
    if (x11) return {DisplayServer::x11, {}};
    return {std::nullopt, "tavlo: no X11 display: the desktop program needs an X11 session (is DISPLAY set?)"};
}

std::string_view name(DisplayServer server) { return server == DisplayServer::wayland ? "wayland" : "x11"; }

}  // namespace tavlo::wayland
