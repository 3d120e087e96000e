#pragma once
// A stored key combination in the words a GlobalShortcuts portal takes as a
// preferred trigger (in the XDG shortcut format: "CTRL+ALT+d", keys by
// their XKB names), so the desktop offers the user's own keys first.
#include <cstdint>
#include <optional>
#include <string>

namespace tavlo::portal {

// Absent for a key that has no name here and for a combination without a
// modifier-free key (a modifier alone cannot be bound through a portal).
std::optional<std::string> preferredTrigger(std::uint32_t keyCode, std::uint32_t modifiers);

}  // namespace tavlo::portal
