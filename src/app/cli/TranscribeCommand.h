#pragma once
#include <string>
#include <vector>

#include "app/cli/CommandLine.h"

namespace tavlo::cli {

// `tavlo transcribe FILE`: transcribes an audio or video file with the stored
// speech settings, exactly as the program's Transcribe section does. The text
// goes to standard output and the saved text file's path to standard error;
// a refusal or failure prints its message and exits with status 1.
int runTranscribe(const std::vector<std::string>& args, Streams streams);

}  // namespace tavlo::cli
