#pragma once
#include <string>
#include <vector>

#include "app/cli/CommandLine.h"

namespace tavlo::cli {

// `tavlo models`: the Whisper models on offer with their sizes and whether
// each is installed; `models download NAME` puts one into the folder local
// Whisper searches (resuming an earlier partial download, checking the
// checksum before the file gets its name); `models remove NAME` deletes it.
// Exit status 0 on success, 1 on failure, 2 for a wrong invocation, 128 plus
// the signal's number when Ctrl+C or a stop request ended a download.
int runModels(const std::vector<std::string>& args, Streams streams);

}  // namespace tavlo::cli
