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
// Output that could not be written is reported on `err` and fails the command;
// with a DescriptorOutputBuffer behind `out` the report names the reason.
int runCommand(const std::vector<std::string>& args, Streams streams);

}  // namespace tavlo::cli
