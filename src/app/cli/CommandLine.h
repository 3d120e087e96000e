#pragma once
// Headless entry points of the tavlo executable, for scripts and tests. Each
// command shares the program's own code paths.
#include <iosfwd>
#include <string>
#include <vector>

namespace tavlo::cli {

struct Streams {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
};

// Runs the command named by args[0]; returns the process exit status.
// Returns -1 when args name no headless command (the desktop program runs then).
int runCommand(const std::vector<std::string>& args, Streams streams);

}  // namespace tavlo::cli
