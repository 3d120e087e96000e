#pragma once
// Every key change on the desktop, observed without taking keys away from
// the application that has the focus: what the triggers are made of.
#include <cstdint>
#include <functional>
#include <string>

namespace tavlo {

struct KeyEventHandlers {
    // A key went down or up: its stored key code and the hot-key modifier
    // mask held at that moment. Keys without a stored code are not reported.
    std::function<void(std::uint32_t keyCode, std::uint32_t modifiers, bool isDown)> keyChanged;
    // The function key (or the key that stands for it on this keyboard).
    std::function<void(bool isDown)> functionKeyChanged;
    // The set of held modifiers changed (hot-key modifier mask).
    std::function<void(std::uint32_t modifiers)> modifiersChanged;
};

class KeyEventSource {
public:
    virtual ~KeyEventSource() = default;

    // Starts reporting to `handlers` on the main thread; false when the
    // desktop offers no way to observe keys.
    virtual bool start(KeyEventHandlers handlers) = 0;
    virtual void stop() = 0;

    // The name of the key that acts as the function key here, for the texts
    // that tell the user what to hold ("Fn", or its stand-in).
    virtual std::string functionKeyName() const = 0;

    // The hot-key modifiers the function key itself holds while it is down
    // (a Ctrl key standing in for it holds Control), so that keys pressed
    // with it held can be told from keys pressed with modifiers the user added.
    virtual std::uint32_t functionKeyModifiers() const { return 0; }
};

}  // namespace tavlo
