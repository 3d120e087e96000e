#pragma once
// The Whisper models on offer: whisper.cpp's published ones, or those of the
// JSON file named by TAVLO_WHISPER_MODEL_CATALOGUE (a mirror with other
// models, or a test with small files).
#include <optional>
#include <string>

#include "engine/whisper/WhisperModelCatalogue.h"
#include "platform/HostEnvironment.h"

namespace tavlo {

// Absent, with the reason in `problem`, when the named file cannot be read.
std::optional<WhisperModelCatalogue> whisperModelCatalogue(const HostEnvironment& host, std::string& problem);

}  // namespace tavlo
