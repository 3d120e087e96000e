#include "settings/LocalWhisperAvailability.h"

#include <algorithm>

#include "settings/LocaleIdentifier.h"

namespace tavlo {

WhisperInstallLocations WhisperInstallLocations::standard(const std::string& homeDirectory) {
    return WhisperInstallLocations{
        {
            "/opt/homebrew/bin/whisper-server",
            "/usr/local/bin/whisper-server",
            "/opt/homebrew/bin/whisper-cli",
            "/usr/local/bin/whisper-cli",
            homeDirectory + "/.local/bin/whisper",
        },
        homeDirectory + "/.cache/whisper.cpp",
    };
}

std::vector<std::string> whisperModelCandidates(std::string_view languageIdentifier) {
    if (languageCode(languageIdentifier) == "en")
        return {"ggml-base.en.bin", "ggml-tiny.en.bin", "ggml-base.bin", "ggml-tiny.bin"};
    return {"ggml-base.bin", "ggml-tiny.bin"};
}

bool localWhisperIsAvailable(std::string_view languageIdentifier,
                             const WhisperInstallLocations& locations, const HostEnvironment& host) {
    const bool hasExecutable =
        std::ranges::any_of(locations.executables,
                            [&](const std::string& path) { return host.isExecutableFile(path); });
    if (!hasExecutable) return false;
    const auto models = whisperModelCandidates(languageIdentifier);
    return std::ranges::any_of(models, [&](const std::string& name) {
        return host.fileExists(locations.modelDirectory + "/" + name);
    });
}

}  // namespace tavlo
