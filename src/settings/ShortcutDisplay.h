#pragma once
// Turning a key event's raw numbers into stored shortcut values and the text
// shown to the user ("Ctrl+Alt+Space"). The stored codes and masks keep the
// layout every copy of the settings shares; only the words are the ones a
// Linux keyboard carries (Ctrl, Alt, Shift, Super).
#include <cstdint>
#include <string>
#include <string_view>

#include "base/Records.h"

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

// The modifier words of the flags, "+"-joined in the fixed order Ctrl, Alt, Shift, Super.
std::string modifierDisplay(std::uint64_t flags);
// The same words for a stored hot-key modifier mask.
std::string modifierMaskDisplay(std::uint32_t carbonMask);
// "Ctrl+Alt+Space" from a stored key code and modifier mask. The text stored
// beside them is not used, so shortcuts saved with other words read the same.
std::string storedShortcutDisplay(std::uint32_t keyCode, std::uint32_t carbonMask);
// A trigger's keys from its stored codes: the function key by the name this
// desktop gives it, modifiers alone by their words, or a key with modifiers.
std::string triggerDisplay(const TriggerShortcut& trigger, std::string_view functionKeyName);
// The press trigger's keys: on the function key it is a double tap.
std::string pressTriggerDisplay(const TriggerShortcut& trigger, std::string_view functionKeyName);

// The modifier words followed by the key's name, joined by "+".
std::string shortcutDisplay(std::uint16_t keyCode, std::uint64_t flags);

}  // namespace tavlo
