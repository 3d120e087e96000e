#pragma once
// This program's own connection to the X server, shared by the X11 adapters
// (hot keys, key monitoring, keystrokes, the clipboard and windows). Its
// events are read on the main thread from Qt's event loop and handed to
// every listener. Errors never end the program: a window can vanish between
// an event and the next request, so errors are either trapped around the
// requests that expect them or ignored.
//
// It also knows the keyboard: which key codes carry which keysyms in the
// current layout, and which modifier bits mean Alt, Super and the locks. It
// reloads that whenever the layout changes, before the listeners hear of it.
#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/linux/x11/KeyTranslation.h"

class QSocketNotifier;

namespace tavlo::x11 {

class X11Connection : public std::enable_shared_from_this<X11Connection> {
public:
    using EventListener = std::function<void(XEvent& event)>;
    using ListenerId = std::uint64_t;

    // Connects to the display named by DISPLAY (or `displayName`); null when
    // there is none. Needs a running QCoreApplication on this thread.
    static std::shared_ptr<X11Connection> open(const std::string& displayName = {});
    // Whether a display can be reached at all; needs no Qt.
    static bool displayAvailable(const std::string& displayName = {});
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    Display* display() const { return display_; }
    Window root() const { return root_; }

    // Every event read from now on.
    ListenerId addListener(EventListener listener);
    // Called after the keyboard layout changed and the tables were reloaded.
    ListenerId addKeyboardListener(std::function<void()> listener);
    void removeListener(ListenerId id);

    // Runs `requests`, waits for the server to process them, and returns the
    // first error code they caused (0 for none).
    int trapErrors(const std::function<void()>& requests);

    // Sends what is buffered and makes sure events that arrived meanwhile
    // are handed out soon.
    void flush();

    // Hands out every event that has arrived, without waiting for more.
    void dispatchPending();
    // Hands out events as they arrive until `done` holds or `limit` has
    // passed; true when `done` held. Only this connection's events are
    // served meanwhile (other main-thread work waits), so an adapter can
    // wait for another client's answer without running the whole event loop.
    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit);

    // The server's current time, for requests that want a real timestamp
    // (taking a selection, asking the window manager to activate a window).
    Time serverTime();

    // Adds `mask` to the events this program selects on `window`, keeping
    // what other adapters selected there.
    void selectMoreInput(Window window, long mask);

    // The XInput2 extension's opcode, absent when the server lacks XI 2.0.
    std::optional<int> xinputOpcode() const { return xinputOpcode_; }
    int xkbEventBase() const { return xkbEventBase_; }

    // --- Keyboard -------------------------------------------------------
    const ModifierBits& modifierBits() const { return modifierBits_; }
    // The X key code that types a stored key code in the current layout,
    // falling back to the key's physical place; 0 when there is none.
    unsigned keycodeForKeyCode(std::uint32_t keyCode) const;
    // The stored key code of an X key code, as the first group's base level
    // names it, else by its physical place.
    std::optional<std::uint32_t> keyCodeForKeycode(unsigned keycode) const;
    // The X key code of a keysym in the current layout; 0 when none.
    unsigned keycodeForKeysym(Keysym keysym) const;
    Keysym baseKeysym(unsigned keycode) const;

private:
    X11Connection(Display* display);
    void readEvents();
    void drainSoon();
    void dispatch(XEvent& event);
    void reloadKeyboard();

    Display* display_ = nullptr;
    Window root_ = 0;
    Window clockWindow_ = 0;  // an unmapped window whose property changes tell the time
    std::unique_ptr<QSocketNotifier> notifier_;
    std::map<ListenerId, EventListener> listeners_;
    std::map<ListenerId, std::function<void()>> keyboardListeners_;
    ListenerId lastListener_ = 0;
    bool drainScheduled_ = false;
    std::optional<int> xinputOpcode_;
    int xkbEventBase_ = -1;
    ModifierBits modifierBits_;
};

}  // namespace tavlo::x11
