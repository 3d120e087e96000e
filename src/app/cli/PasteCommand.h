#pragma once
#include <string>
#include <vector>

#include "app/cli/CommandLine.h"

namespace tavlo::cli {

// `tavlo paste TEXT`: delivers TEXT into the focused application exactly as a
// finished dictation is delivered (clipboard, paste keystroke, check through
// accessibility) and prints how it ended. Exit status 0 when the text
// arrived or the keystroke went out, 1 otherwise, 2 for a usage error.
int runPaste(const std::vector<std::string>& args, Streams streams);

}  // namespace tavlo::cli
