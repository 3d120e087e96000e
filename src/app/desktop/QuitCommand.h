#pragma once
// `tavlo quit`: asks the running desktop program, over its single-instance
// channel, to quit as its menu's Quit would. The launcher's Quit action runs
// it, so a desktop without a tray still has a way to end the program.
#include <ostream>
#include <string>
#include <vector>

namespace tavlo {

// `args` starts with "quit". 0 when the program took the request (it then
// quits), 1 when none runs or it did not answer, 2 for a usage error.
int runQuitCommand(const std::vector<std::string>& args, std::ostream& err);

}  // namespace tavlo
