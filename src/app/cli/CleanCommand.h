#pragma once
#include <string>
#include <vector>

#include "app/cli/CommandLine.h"

namespace tavlo::cli {

// `tavlo clean [--style NAME] [--snippets FILE] [--json] [TEXT...]`: runs text
// through the transcript pipeline. Text comes from the arguments, or from
// standard input when there are none. Without --snippets the user's stored
// snippets apply.
int runClean(const std::vector<std::string>& args, Streams streams);

}  // namespace tavlo::cli
