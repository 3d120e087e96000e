#pragma once
// What the window manager and the compositor must know about a small
// indicator window (the bubble) that Qt's window flags cannot say.
#include <X11/Xlib.h>

namespace tavlo::x11 {

// Whether a compositing manager runs on the screen (it owns the selection
// _NET_WM_CM_Sn). Only then do translucent pixels blend with the windows
// below; without one they show dark, so the window must be shaped instead.
bool compositingManagerRunning(Display* display, int screen);

// Asks to keep a window that is about to be shown on every desktop and out
// of the taskbar and the pager. The properties are read when the window is
// mapped, so this is called before every showing.
void keepOnEveryDesktop(Display* display, Window window);

}  // namespace tavlo::x11
