#pragma once
#include <string>
#include <vector>

#include "app/cli/CommandLine.h"

namespace tavlo::cli {

// `tavlo check-updates`: asks the update manifest servers, as the program's
// "Check for Updates…" does, and prints the result in the alert's words.
// Exit status 0 when the answer is known (an update or none), 1 when the
// check failed.
int runCheckUpdates(const std::vector<std::string>& args, Streams streams);

}  // namespace tavlo::cli
