#pragma once
// The short texts the Transcribe section shows when a file cannot be
// transcribed: before a file is chosen (the chosen engine cannot transcribe
// files) and after a failure (without the back end's work paths or its
// multi-line tool output).
#include <optional>
#include <string>

#include "engine/DictationEngineError.h"
#include "hub/model/HubContext.h"

namespace tavlo {

// Why the stored engine cannot transcribe a file now, as an instruction;
// absent when it can. Mirrors the checks the controller makes before it
// starts, so the user hears about them before picking a file.
std::optional<std::string> fileTranscriptionBlocker(const HubContext& context);

// A failure as one short line: the back end's own sentence when it is short
// and names no file path, else a plain sentence for its kind of failure.
std::string fileTranscriptionFailureMessage(const EngineError& error);

}  // namespace tavlo
