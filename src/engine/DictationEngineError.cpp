#include "engine/DictationEngineError.h"

#include <utility>

namespace tavlo {
namespace {

std::string describe(DictationEngineError::Case errorCase, const std::string& payload) {
    using C = DictationEngineError::Case;
    switch (errorCase) {
    case C::localWhisperFailed:
        return payload.empty() ? "Local Whisper transcription failed." : payload;
    case C::cloudTranscriptionFailed:
        return payload.empty() ? "OpenAI cloud transcription failed." : payload;
    case C::speechUnavailable:
        return "Speech recognition is not available right now.";
    case C::recognitionDenied:
        return "Speech recognition permission is required.";
    case C::microphoneDenied:
        return "Microphone permission is required.";
    case C::noInputAvailable:
        return "No microphone input is available.";
    case C::onDeviceRecognitionUnavailable:
        return "On-device Speech Recognition is not available for the current macOS language.";
    case C::localWhisperUnavailable:
        if (!payload.empty()) return payload;
        return "Local Whisper is not installed. Install whisper.cpp or the whisper CLI, or switch "
               "back to Apple on-device Speech.";
    case C::cloudTranscriptionUnavailable:
        return "OpenAI cloud transcription is not available. Check your Tavlo service access "
               "token and your internet connection.";
    }
    return {};
}

}  // namespace

DictationEngineError::DictationEngineError(Case errorCase, std::string payload)
    : case_(errorCase), payload_(std::move(payload)), description_(describe(case_, payload_)) {}

DictationEngineError DictationEngineError::localWhisperFailed(std::string message) {
    return {Case::localWhisperFailed, std::move(message)};
}
DictationEngineError DictationEngineError::cloudTranscriptionFailed(std::string message) {
    return {Case::cloudTranscriptionFailed, std::move(message)};
}
DictationEngineError DictationEngineError::speechUnavailable() { return {Case::speechUnavailable, {}}; }
DictationEngineError DictationEngineError::recognitionDenied() { return {Case::recognitionDenied, {}}; }
DictationEngineError DictationEngineError::microphoneDenied() { return {Case::microphoneDenied, {}}; }
DictationEngineError DictationEngineError::noInputAvailable() { return {Case::noInputAvailable, {}}; }
DictationEngineError DictationEngineError::onDeviceRecognitionUnavailable() {
    return {Case::onDeviceRecognitionUnavailable, {}};
}
DictationEngineError DictationEngineError::localWhisperUnavailable() {
    return {Case::localWhisperUnavailable, {}};
}
DictationEngineError DictationEngineError::localWhisperUnavailable(std::string reason) {
    return {Case::localWhisperUnavailable, std::move(reason)};
}
DictationEngineError DictationEngineError::cloudTranscriptionUnavailable() {
    return {Case::cloudTranscriptionUnavailable, {}};
}

std::string errorDescription(const EngineError& error) {
    return std::visit([](const auto& e) { return std::string(e.what()); }, error);
}

}  // namespace tavlo
