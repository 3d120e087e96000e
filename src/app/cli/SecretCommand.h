#pragma once
#include <string>
#include <vector>

#include "app/cli/CommandLine.h"

namespace tavlo::cli {

// `tavlo secret set|clear|status openai-key|service-token`. `set` reads the
// secret from standard input, never from the command line; nothing ever prints it.
int runSecret(const std::vector<std::string>& args, Streams streams);

}  // namespace tavlo::cli
