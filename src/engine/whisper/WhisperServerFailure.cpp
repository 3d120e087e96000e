#include "engine/whisper/WhisperServerFailure.h"

namespace tavlo {

std::string whisperModelNotLoaded(const std::filesystem::path& model) {
    return "The Whisper model file " + model.string() + " could not be loaded.";
}

std::optional<std::string> whisperServerStartFailure(std::string_view log, const std::filesystem::path& model,
                                                     int port) {
    if (log.find("failed to initialize whisper context") != std::string_view::npos) return whisperModelNotLoaded(model);
    // The server's words when another program has the port (or it is not
    // free yet after an earlier server).
    if (log.find("couldn't bind to server socket") != std::string_view::npos)
        return "Port " + std::to_string(port) + " is in use.";
    return std::nullopt;
}

}  // namespace tavlo
