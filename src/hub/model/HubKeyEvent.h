#pragma once
// A key event as the hub's key capture sees it: a key going down, or a change
// of the held modifiers, with the stored (Mac-style) key code and the event
// modifier flags of settings/ShortcutDisplay.h plus the function-key flag.
// The view translates the toolkit's events (inside the hub window) and the
// desktop's key events (while another application is in front) into these.
#include <cstdint>

namespace tavlo {

// Escape cancels any capture, in either event type.
inline constexpr std::uint16_t escapeKeyCode = 53;
// Set in a modifier-change event while the function key is held.
inline constexpr std::uint64_t functionKeyFlag = 0x800000;

struct HubKeyEvent {
    enum class Type { keyDown, modifiersChanged, other };

    Type type = Type::other;
    std::uint16_t keyCode = 0;
    std::uint64_t modifierFlags = 0;

    static HubKeyEvent keyDown(std::uint16_t keyCode, std::uint64_t modifierFlags) {
        return HubKeyEvent{Type::keyDown, keyCode, modifierFlags};
    }
    static HubKeyEvent modifiersChanged(std::uint64_t modifierFlags, std::uint16_t keyCode = 0) {
        return HubKeyEvent{Type::modifiersChanged, keyCode, modifierFlags};
    }
    bool operator==(const HubKeyEvent&) const = default;
};

// Event modifier flags for a hot-key modifier mask (as KeyEventSource
// reports it) and the function key's state.
std::uint64_t eventModifierFlags(std::uint32_t carbonMask, bool functionKeyDown);

}  // namespace tavlo
