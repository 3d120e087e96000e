#pragma once
// The desktop side of delivering text into other applications: the
// clipboard, the windows, the keystrokes and the accessibility bus, on X11 or
// on Wayland. The desktop program and `tavlo paste` compose them the same way,
// and their deliveries take turns through one lock of the user's.
#include <memory>

#include "app/core/AppDelegate.h"

// Xlib's macros stay out of the files that include this one.
namespace tavlo::x11 {
class X11Connection;
}
namespace tavlo::wayland {
class WaylandConnection;
}

namespace tavlo::cli {

struct DeliveryAdapters {
    std::shared_ptr<Pasteboard> pasteboard;
    std::shared_ptr<Workspace> workspace;
    std::shared_ptr<Accessibility> accessibility;
    std::shared_ptr<KeyEventPoster> keyEventPoster;
    std::shared_ptr<DeliveryLock> deliveryLock;
    // On Wayland, the program's own connection to the compositor (null when
    // it could not be made), for the bubble as well.
    std::shared_ptr<wayland::WaylandConnection> wayland;

    void addTo(AppDelegatePorts& ports) const;
};

// Needs Qt's application object (the connection's events arrive through its loop).
DeliveryAdapters makeX11DeliveryAdapters(std::shared_ptr<x11::X11Connection> connection);

// On Wayland: the focused field and its application from the accessibility
// bus, text written at the caret through it where the field allows; the
// clipboard through the data-control protocol where the compositor offers it
// (wlroots, KDE), else Qt's; the paste keystroke through a virtual keyboard
// (wlroots), else the RemoteDesktop portal where the desktop has one.
DeliveryAdapters makeWaylandDeliveryAdapters();

}  // namespace tavlo::cli
