#include "platform/linux/x11/X11IndicatorWindow.h"

#include <X11/Xatom.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tavlo::x11 {

bool compositingManagerRunning(Display* display, int screen) {
    if (!display) return false;
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    const Atom selection = XInternAtom(display, name.c_str(), False);
    return XGetSelectionOwner(display, selection) != None;
}

void keepOnEveryDesktop(Display* display, Window window) {
    if (!display || !window) return;
    // All desktops: the desktop number 0xFFFFFFFF.
    const Atom desktop = XInternAtom(display, "_NET_WM_DESKTOP", False);
    const unsigned long everyDesktop = 0xFFFFFFFFul;
    XChangeProperty(display, window, desktop, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&everyDesktop), 1);

    // Added to the states already set (Qt adds "above" itself when mapping).
    const Atom stateAtom = XInternAtom(display, "_NET_WM_STATE", False);
    std::vector<Atom> states;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, stateAtom, 0, 64, False, XA_ATOM, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        if (type == XA_ATOM && format == 32) {
            const auto* atoms = reinterpret_cast<const unsigned long*>(data);
            states.assign(atoms, atoms + count);
        }
        XFree(data);
    }
    for (const char* name : {"_NET_WM_STATE_STICKY", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
        const Atom atom = XInternAtom(display, name, False);
        if (std::find(states.begin(), states.end(), atom) == states.end()) states.push_back(atom);
    }
    // Xlib takes 32-bit properties as arrays of long.
    std::vector<unsigned long> values(states.begin(), states.end());
    XChangeProperty(display, window, stateAtom, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(values.data()), static_cast<int>(values.size()));
    XFlush(display);
}

}  // namespace tavlo::x11
