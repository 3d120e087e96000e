#pragma once
// Watches every key on the X11 desktop without grabbing it: XInput2 raw key
// events on the root window (one per key change, for the master keyboards,
// whoever has the focus) plus the XKB modifier state. Nothing is taken away
// from the focused application.
//
// The function key: laptops handle Fn in the keyboard itself and X11 never
// sees it. When the keyboard does report a key with the XF86Fn symbol, that
// key is the function key; otherwise Right Ctrl pressed on its own stands in
// for it (pressing another key while holding it ends the function press, so
// Right Ctrl shortcuts still work as shortcuts).
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "platform/KeyEventSource.h"
#include "platform/linux/x11/X11Connection.h"

namespace tavlo::x11 {

class X11KeyEventSource final : public KeyEventSource, public std::enable_shared_from_this<X11KeyEventSource> {
public:
    static std::shared_ptr<X11KeyEventSource> create(std::shared_ptr<X11Connection> connection);
    ~X11KeyEventSource() override;

    bool start(KeyEventHandlers handlers) override;
    void stop() override;
    std::string functionKeyName() const override;
    std::uint32_t functionKeyModifiers() const override;

private:
    explicit X11KeyEventSource(std::shared_ptr<X11Connection> connection);
    void findFunctionKey();
    void handleEvent(const XEvent& event);
    void handleRawKey(unsigned keycode, bool isDown);
    void handleModifierState(unsigned state);

    std::shared_ptr<X11Connection> connection_;
    X11Connection::ListenerId eventListener_ = 0;
    X11Connection::ListenerId keyboardListener_ = 0;
    KeyEventHandlers handlers_;
    bool running_ = false;

    unsigned functionKeycode_ = 0;
    bool functionIsStandIn_ = false;  // Right Ctrl stands in for Fn
    bool functionDown_ = false;
    std::set<unsigned> pressedKeys_;
    unsigned modifierState_ = 0;
    std::uint32_t reportedModifiers_ = 0;
};

}  // namespace tavlo::x11
