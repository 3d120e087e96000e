// File transcription: a session without a microphone whose "recording" is a
// working copy of the user's file, handed to the delayed back ends.
#include <utility>

#include "engine/DictationEngine.h"
#include "engine/support/RandomUuid.h"

namespace tavlo {
namespace {

// "file-<UUID>.<extension>", or ".audio" when the source has none. The back
// ends read the type from the extension, so it is kept.
std::string workingCopyName(const std::filesystem::path& source) {
    std::string extension = source.extension().string();
    if (extension.size() <= 1) extension = ".audio";
    return "file-" + makeRandomUuid() + extension;
}

}  // namespace

void DictationEngine::transcribeFile(const std::filesystem::path& sourceURL, SpeechModel model,
                                     const std::optional<std::string>& languageIdentifier,
                                     const std::optional<std::string>& serviceAccessToken,
                                     OpenAICloudMode openAICloudMode,
                                     const std::optional<std::string>& openAIAPIKey) {
    const std::string language = languageIdentifier.value_or(currentLocaleIdentifier);
    if (model == SpeechModel::localWhisper)
        if (auto unavailable = localWhisperUnavailability(language)) throw std::move(*unavailable);
    // The on-device recogniser only listens to the microphone.
    if (model == SpeechModel::appleOnDevice) throw DictationEngineError::localWhisperUnavailable();

    resetRecognition();
    const std::uint64_t id = ++sessionID;
    activeSpeechModel = model;
    activeLanguageIdentifier = language;
    activeMicrophoneUniqueID.reset();
    activeServiceAccessToken = serviceAccessToken;
    activeContextualStrings.clear();  // no dictionary prompt for files
    activeOpenAICloudMode = openAICloudMode;
    activeOpenAIAPIKey = openAIAPIKey;
    transcriptAccumulator.reset();
    lastPartialText.clear();
    didFinish = false;
    shouldCommitOnFinish = true;

    const std::filesystem::path folder = temporaryFiles->temporaryDirectory() / "SorvelWhisper";
    const std::filesystem::path workingCopy = folder / workingCopyName(sourceURL);
    try {
        temporaryFiles->createDirectories(folder);
        temporaryFiles->copyFile(sourceURL, workingCopy);
    } catch (...) {
        // The caller gets this failure as the session's only outcome; a later
        // cancel or shutdown must not report a second, empty one.
        didFinish = true;
        throw;
    }

    // The copy now stands where a recording would: the delayed path hands it
    // to the back end, which deletes it when it completes.
    recordingFileURL = workingCopy;
    recordingIsWhisperWav = false;
    startDelayedTranscription(model,
                              model == SpeechModel::openAICloud ? "Transcribing file with OpenAI..."
                                                                : "Transcribing file locally with Whisper...",
                              id);
}

}  // namespace tavlo
