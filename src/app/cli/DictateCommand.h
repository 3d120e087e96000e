#pragma once
#include <string>
#include <vector>

#include "app/cli/CommandLine.h"

namespace tavlo::cli {

// `tavlo dictate [--seconds N]`: one dictation from the microphone with the
// stored speech settings, through the program's own dictation session. The
// live text shows on standard error when that is a terminal; Enter, the end
// of standard input or N seconds of listening finish it, Ctrl+C cancels it.
// The text is recorded in the history, copied, and printed on standard
// output. With `--paste` the text is also delivered into the focused
// application the way the desktop program delivers it; how that ended goes
// to standard error, and a failed delivery makes the exit status 1.
// `--list-microphones` prints each capture device's unique id and
// name, tab-separated.
int runDictate(const std::vector<std::string>& args, Streams streams);

}  // namespace tavlo::cli
