#pragma once
// Whether a local whisper.cpp installation with a usable model is present, which
// makes local Whisper the default engine.
#include <string>
#include <string_view>
#include <vector>

#include "platform/HostEnvironment.h"

namespace tavlo {

// Where the program looks for whisper.cpp.
struct WhisperInstallLocations {
    std::vector<std::string> executables;  // checked in this order
    std::string modelDirectory;

    // The usual install places, and the model folder in the user's cache.
    static WhisperInstallLocations standard(const std::string& homeDirectory);
};

// The model files that will do for a language, in order of preference.
std::vector<std::string> whisperModelCandidates(std::string_view languageIdentifier);

// True when one of the executables is present and one of the model candidates
// for the language exists in the model folder.
bool localWhisperIsAvailable(std::string_view languageIdentifier,
                             const WhisperInstallLocations& locations, const HostEnvironment& host);

}  // namespace tavlo
