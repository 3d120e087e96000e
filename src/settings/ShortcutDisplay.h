#pragma once
// Turning a key event's raw numbers into stored shortcut values and the text
// shown to the user ("Ctrl+Opt+Space").
#include <cstdint>
#include <string>

namespace tavlo {

// Event modifier-flag bits as delivered by key events.
namespace EventModifierFlag {
inline constexpr std::uint64_t shift = 0x20000;
inline constexpr std::uint64_t control = 0x40000;
inline constexpr std::uint64_t option = 0x80000;
inline constexpr std::uint64_t command = 0x100000;
}  // namespace EventModifierFlag

// The hot-key modifier mask for an event's modifier flags; other bits are ignored.
std::uint32_t carbonModifiers(std::uint64_t flags);

// The name of a virtual key code, or "Key <code>" when it has none.
std::string keyName(std::uint16_t keyCode);

// The modifier words of the flags, "+"-joined in the fixed order Ctrl, Opt, Shift, Cmd.
std::string modifierDisplay(std::uint64_t flags);

// The modifier words followed by the key's name, joined by "+".
std::string shortcutDisplay(std::uint16_t keyCode, std::uint64_t flags);

}  // namespace tavlo
