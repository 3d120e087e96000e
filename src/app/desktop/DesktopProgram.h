#pragma once
// The desktop program: every real adapter built once, the controller, the
// tray and the bubble, run on Qt's event loop until the user quits (or
// SIGTERM or SIGINT arrives).
#include <iosfwd>

namespace tavlo {

// Returns the exit status. Messages for the terminal go to `err`.
int runDesktopProgram(int argc, char** argv, std::ostream& err);

}  // namespace tavlo
