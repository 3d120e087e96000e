// Transcribing an audio or video file the user chose: the checks, the engine
// session, and what happens to the text (clean-up, clipboard, history, and a
// text file beside the source).
#include <utility>

#include "app/core/AppDelegate.h"
#include "engine/support/TextTrimming.h"
#include "text/TextPipeline.h"

namespace tavlo {

void AppDelegate::transcribeFile(const std::filesystem::path& url, FileTranscriptionCompletion completion) {
    if (canStartFileTranscription(completion)) startFileTranscription(url, std::move(completion));
}

bool AppDelegate::canStartFileTranscription(const FileTranscriptionCompletion& completion) {
    auto refuse = [&](const std::string& message) {
        presentError(message);
        if (completion) completion(FileTranscriptionResult::failure(fileTranscriptionError(message)));
        return false;
    };
    if (isListening_ || isProcessingDictation_) {
        // The running dictation is left alone: ending its session here would
        // throw away its result when it arrives.
        const std::string message = "Finish the current dictation before transcribing a file.";
        logDiagnostic("present error=" + message);
        if (completion) completion(FileTranscriptionResult::failure(fileTranscriptionError(message)));
        return false;
    }
    const SpeechModel model = store.speechModel();
    if (model == SpeechModel::appleOnDevice)
        return refuse("Choose Local Whisper or OpenAI cloud before transcribing a file.");
    if (model == SpeechModel::openAICloud && store.openAICloudMode() == OpenAICloudMode::apiKey &&
        !store.hasOpenAIAPIKey())
        return refuse("Save your OpenAI API key in Home before using Own OpenAI key mode.");
    if (model == SpeechModel::localWhisper)
        if (const auto unavailable = dictationEngine->localWhisperUnavailability(store.speechLanguageIdentifier())) {
            // The reason (what is missing and how to get it), as dictation
            // says it; the general refusal when the engine cannot tell.
            if (!unavailable->payload().empty()) return refuse(unavailable->errorDescription());
            return refuse("Local Whisper is required for file transcription, or switch Speech to OpenAI cloud.");
        }
    return true;
}

void AppDelegate::startFileTranscription(const std::filesystem::path& url, FileTranscriptionCompletion completion) {
    isProcessingDictation_ = true;
    hasCompletedCurrentDictation_ = false;
    targetApplication.reset();
    targetAppName_ = "File";
    currentPartialTranscript_.clear();
    setBubbleState(BubbleState::processing);

    std::weak_ptr<AppDelegate> weak = weak_from_this();
    dictationEngine->onPartial = [weak](const std::string& text) {
        if (auto self = weak.lock()) self->updatePartialTranscript(text);
    };
    dictationEngine->onComplete = [weak, url, completion](const DictationResult& result) {
        if (auto self = weak.lock()) self->completeFileTranscription(url, completion, result);
    };

    std::optional<EngineError> failure;
    try {
        dictationEngine->transcribeFile(url, store.speechModel(), store.speechLanguageIdentifier(),
                                        store.serviceAccessToken(), store.openAICloudMode(), store.openAIAPIKey());
    } catch (const DictationEngineError& error) {
        failure = error;
    } catch (const PlatformError& error) {
        failure = error;
    }
    if (!failure) return;
    isProcessingDictation_ = false;
    setBubbleState(BubbleState::idle);
    presentError(errorDescription(*failure));
    if (completion) completion(FileTranscriptionResult::failure(*failure));
}

void AppDelegate::completeFileTranscription(const std::filesystem::path& sourceURL,
                                            const FileTranscriptionCompletion& completion,
                                            const DictationResult& result) {
    isProcessingDictation_ = false;
    currentPartialTranscript_.clear();
    auto fail = [&](EngineError error) {
        if (completion) completion(FileTranscriptionResult::failure(std::move(error)));
    };

    if (!result.isSuccess()) {
        setBubbleState(BubbleState::idle);
        presentError(errorDescription(result.error()));
        fail(result.error());
        return;
    }
    const std::string transcript = trimWhitespaceAndLineBreaks(result.text());
    if (transcript.empty()) {
        setBubbleState(BubbleState::idle);
        fail(fileTranscriptionError("File transcription returned no text."));
        return;
    }

    const TransformStyle style =
        store.cleanupEnabled() ? store.style(std::nullopt, std::nullopt) : TransformStyle::verbatim;
    // Cue phrases in a recording are what was said, not commands to revise it.
    const ProcessedText processed =
        TextPipeline::process(transcript, style, store.snippets(), TextPipeline::SelfCorrections::keepAsSpoken);
    if (processed.cancelled || processed.text.empty()) {
        setBubbleState(BubbleState::idle);
        fail(fileTranscriptionError("File transcription cancelled."));
        return;
    }

    pasteboard->clearContents();
    pasteboard->setString(processed.text);
    store.addRecent(processed.text, sourceURL.filename().string());
    store.learnLikelyTerms(processed.text);

    std::filesystem::path outputURL;
    try {
        outputURL = saveTranscript(processed.text, sourceURL);
    } catch (const PlatformError& error) {
        showSuccessTick();
        presentError("Transcript copied, but the text file could not be saved: " + error.localizedDescription());
        fail(error);
        return;
    }
    showSuccessTick();
    if (completion) completion(FileTranscriptionResult::success({sourceURL, outputURL, processed.text}));
}

std::filesystem::path AppDelegate::saveTranscript(const std::string& text, const std::filesystem::path& sourceURL) {
    const std::filesystem::path name = sourceURL.stem().string() + "-transcript.txt";
    const std::filesystem::path besideSource = sourceURL.parent_path() / name;
    try {
        return userFiles->writeNewTextFile(besideSource, text);
    } catch (const PlatformError&) {
        // The source's folder may be read-only (a mounted disc, a shared folder).
    }
    const std::filesystem::path folder = userFiles->documentsDirectory().value_or(userFiles->temporaryDirectory());
    const std::filesystem::path fallback = folder / name;
    // A fresh account may have no documents folder yet.
    userFiles->createDirectories(folder);
    return userFiles->writeNewTextFile(fallback, text);
}

}  // namespace tavlo
