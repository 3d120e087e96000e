#pragma once
// Stored shortcuts keep the key codes and modifier masks they have on every
// platform (the Mac keyboard's virtual key codes, the hot-key modifier mask),
// so one settings file means the same everywhere. These tables translate them
// to and from X11: key codes to keysyms (which the current keyboard layout
// then places on physical keys) and X11 modifier states to the stored mask.
#include <cstdint>
#include <optional>
#include <vector>

namespace tavlo::x11 {

using Keysym = unsigned long;

// XF86Fn, the symbol of a function key the keyboard reports (the system
// header spells it through a macro that it undefines again).
inline constexpr Keysym functionKeysym = 0x100811d0;

// The keysym a stored key code stands for; absent for keys X11 cannot name.
std::optional<Keysym> keysymForKeyCode(std::uint32_t keyCode);

// The stored key code of a keysym, absent when no stored key code has it.
// Letters match in either case; keypad keys match with and without NumLock.
std::optional<std::uint32_t> keyCodeForKeysym(Keysym keysym);

// Physical fallback for layouts without Latin letters (Cyrillic, Greek...)
// and for F13 to F20, which the usual layouts name XF86Tools and so on: the
// stored key code of the key at this X11 key code on a standard evdev
// keyboard, for those keys only.
std::optional<std::uint32_t> keyCodeForPhysicalKey(unsigned x11KeyCode);
std::optional<unsigned> physicalKeyForKeyCode(std::uint32_t keyCode);

// Every stored key code the tables know, for checks and the capture.
std::vector<std::uint32_t> translatableKeyCodes();

// Which X11 modifier bits carry Alt and Super on this server (they move
// between Mod1..Mod5 with the keyboard configuration).
struct ModifierBits {
    unsigned alt = 1u << 3;     // Mod1Mask
    unsigned super = 1u << 6;   // Mod4Mask
    unsigned numLock = 1u << 4; // Mod2Mask
    unsigned scrollLock = 0;    // none on most layouts
};

// The stored hot-key mask of an X11 modifier state (Ctrl, Shift, Alt as
// Option, Super as Command); locks and other bits are dropped.
std::uint32_t carbonModifiersFromState(unsigned state, const ModifierBits& bits);

// The X11 modifier state that a stored mask asks for.
unsigned stateFromCarbonModifiers(std::uint32_t modifiers, const ModifierBits& bits);

}  // namespace tavlo::x11
