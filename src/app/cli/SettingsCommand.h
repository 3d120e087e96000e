#pragma once
#include <string>
#include <vector>

#include "app/cli/CommandLine.h"

namespace tavlo::cli {

// `tavlo settings`: prints every setting as one JSON object.
// `tavlo settings set NAME VALUE`: changes one setting.
int runSettings(const std::vector<std::string>& args, Streams streams);

}  // namespace tavlo::cli
