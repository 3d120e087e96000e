#pragma once
// Terminals do not paste with Ctrl+V (in a shell it inserts the next key
// literally): most take Ctrl+Shift+V, and those of the xterm tradition paste
// only the PRIMARY selection, with Shift+Insert.
#include <string>
#include <vector>

namespace tavlo::desktop {

enum class TerminalKind { notTerminal, terminal, xtermLike };

// What kind of program answers to these names (the desktop entry's id, the
// window class and instance, the executable) with these desktop-entry
// categories.
TerminalKind terminalKindOf(const std::vector<std::string>& names, const std::vector<std::string>& categories);

}  // namespace tavlo::desktop
