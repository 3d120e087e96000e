#include "hub/model/FileTranscriptionMessages.h"

#include <algorithm>
#include <sstream>

namespace tavlo {
namespace {

// Long enough for the back ends' own sentences, short enough for one or two
// lines under the buttons.
constexpr std::size_t longestShownMessage = 160;

// A word that is, or holds, a file path: "/tmp/x/in.wav", "~/Music/a.mp3",
// "file:///...", "(/home/me/...)".
bool namesAPath(const std::string& text) {
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        const auto start = word.find_first_not_of("\"'([<");
        if (start == std::string::npos) continue;
        const std::string_view bare = std::string_view(word).substr(start);
        if (bare.starts_with("/") || bare.starts_with("~/") || bare.starts_with("./") ||
            bare.find("://") != std::string_view::npos)
            return true;
        if (std::count(bare.begin(), bare.end(), '/') >= 2) return true;
    }
    return false;
}

std::string plainSentenceFor(const EngineError& error) {
    if (const auto* engine = std::get_if<DictationEngineError>(&error)) {
        switch (engine->errorCase()) {
        case DictationEngineError::Case::localWhisperFailed:
            return "Local Whisper could not transcribe this file. Check that the file plays, or switch Speech to "
                   "OpenAI cloud.";
        case DictationEngineError::Case::cloudTranscriptionFailed:
            return "OpenAI cloud could not transcribe this file. Check your internet connection and try again.";
        default: return engine->errorDescription();
        }
    }
    return "The file could not be read. Check that it still exists and plays in a media player.";
}

}  // namespace

std::optional<std::string> fileTranscriptionBlocker(const HubContext& context) {
    SettingsStore& store = context.store();
    switch (store.speechModel()) {
    case SpeechModel::appleOnDevice:
        return "On-device speech cannot transcribe files. Choose Local Whisper or OpenAI cloud under Speech in "
               "Home.";
    case SpeechModel::openAICloud:
        if (store.openAICloudMode() == OpenAICloudMode::apiKey && !context.environment().hasOpenAIAPIKey())
            return "Save your OpenAI API key in Home before using Own OpenAI key mode.";
        return std::nullopt;
    case SpeechModel::localWhisper:
        if (!context.environment().localWhisperReady(store.speechLanguageIdentifier()))
            return "Local Whisper is not ready: install whisper.cpp or download a model in Home, or switch Speech "
                   "to OpenAI cloud.";
        return std::nullopt;
    }
    return std::nullopt;
}

std::string fileTranscriptionFailureMessage(const EngineError& error) {
    const std::string description = errorDescription(error);
    const std::string firstLine = description.substr(0, description.find('\n'));
    const bool wholeAndShort = firstLine.size() == description.size() && !firstLine.empty() &&
                               firstLine.size() <= longestShownMessage;
    if (wholeAndShort && !namesAPath(firstLine)) return firstLine;
    return plainSentenceFor(error);
}

}  // namespace tavlo
