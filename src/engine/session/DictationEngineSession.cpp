// Session lifecycle: start, stop, cancel, shutdown, and `finish`, the one path
// to onComplete.
#include <chrono>
#include <utility>

#include "engine/DictationEngine.h"

namespace tavlo {
namespace {

using namespace std::chrono_literals;

// How long after stop the on-device recogniser may take to send its final
// result before the partial text is committed instead.
constexpr MainQueue::Duration finalResultTimeout = 2500ms;

}  // namespace

std::shared_ptr<DictationEngine> DictationEngine::create(DictationEnginePorts ports) {
    return std::shared_ptr<DictationEngine>(new DictationEngine(std::move(ports)));
}

DictationEngine::DictationEngine(DictationEnginePorts ports)
    : mainQueue(std::move(ports.mainQueue)),
      speechRecognizer(std::move(ports.speechRecognizer)),
      audioCapture(std::move(ports.audioCapture)),
      audioFileWriter(std::move(ports.audioFileWriter)),
      temporaryFiles(std::move(ports.temporaryFiles)),
      delayedTranscriber(std::move(ports.delayedTranscriber)),
      silenceTrimmer(std::move(ports.silenceTrimmer)),
      currentLocaleIdentifier(std::move(ports.localeIdentifier)),
      activeLanguageIdentifier(currentLocaleIdentifier) {}

DictationEngine::~DictationEngine() {
    // Stops the microphone and the recogniser; no callback follows.
    resetRecognition();
}

void DictationEngine::start(const DictationStartOptions& options) {
    resetRecognition();
    const std::uint64_t id = ++sessionID;

    activeSpeechModel = options.model;
    activeLanguageIdentifier = options.languageIdentifier.value_or(currentLocaleIdentifier);
    activeMicrophoneUniqueID = options.microphoneUniqueID;
    activeServiceAccessToken = options.serviceAccessToken;
    activeContextualStrings = options.contextualStrings;
    activeOpenAICloudMode = options.openAICloudMode;
    activeOpenAIAPIKey = options.openAIAPIKey;

    switch (options.model) {
    case SpeechModel::appleOnDevice:
        startAppleSpeech(activeContextualStrings, activeLanguageIdentifier, id);
        break;
    case SpeechModel::localWhisper:
        startLocalWhisperRecording(activeContextualStrings, activeLanguageIdentifier, id);
        break;
    case SpeechModel::openAICloud:
        startCloudRecording(activeContextualStrings, activeLanguageIdentifier, id);
        break;
    }
}

void DictationEngine::stopAndCommit() {
    const std::uint64_t id = sessionID;
    // For local Whisper and the cloud the partial text is only the preview:
    // their result is what they make of the recording, never the preview.
    const bool recording = activeSpeechModel != SpeechModel::appleOnDevice;
    if (!audioEngine || (!recording && !audioEngine->isRunning())) {
        finish(DictationResult::success(recording ? std::string() : lastPartialText), id);
        return;
    }
    shouldCommitOnFinish = true;
    const std::string partial = lastPartialText;
    audioEngine->stop();
    audioEngine->removeTap();

    switch (activeSpeechModel) {
    case SpeechModel::appleOnDevice:
        // Ending the audio makes the recogniser send its final result.
        if (recognitionRequest) recognitionRequest->endAudio();
        mainQueue->postAfter(finalResultTimeout, [weak = weak_from_this(), id, partial] {
            auto self = weak.lock();
            if (!self || self->sessionID != id || self->didFinish) return;
            const std::string& text = self->lastPartialText.empty() ? partial : self->lastPartialText;
            self->finish(DictationResult::success(text), id);
        });
        break;
    case SpeechModel::openAICloud:
        startDelayedTranscription(SpeechModel::openAICloud, "Transcribing with OpenAI...", id);
        break;
    case SpeechModel::localWhisper:
        // However long Whisper takes, its text (or its failure) is the result.
        startDelayedTranscription(SpeechModel::localWhisper, "Finalising locally with Whisper...", id);
        break;
    }
}

void DictationEngine::startDelayedTranscription(SpeechModel model, const std::string& progressText,
                                                std::uint64_t id) {
    std::optional<std::filesystem::path> audioFile = std::move(recordingFileURL);
    recordingFileURL.reset();
    closeRecordingFile();
    if (recognitionRequest) recognitionRequest->endAudio();  // the preview

    // Nothing was said: there is nothing to transcribe or upload, and nothing
    // for Whisper to invent words from.
    if (audioFile && silenceTrimmer && silenceTrimmer->trimSilence(*audioFile) == SilenceTrimOutcome::noSpeech) {
        temporaryFiles->removeFile(*audioFile);
        finish(DictationResult::success(""), id);
        return;
    }
    postPartial(progressText);

    if (!delayedTranscriber) {
        if (audioFile) temporaryFiles->removeFile(*audioFile);
        finish(DictationResult::failure(model == SpeechModel::localWhisper
                                            ? DictationEngineError::localWhisperUnavailable()
                                            : DictationEngineError::cloudTranscriptionUnavailable()),
               id);
        return;
    }
    DelayedTranscriptionJob job{model,
                                std::move(audioFile),
                                activeLanguageIdentifier,
                                activeContextualStrings,
                                activeOpenAICloudMode,
                                activeOpenAIAPIKey,
                                activeServiceAccessToken,
                                std::exchange(recordingIsWhisperWav, false)};
    delayedTranscriber->transcribe(std::move(job), SessionCompletion(weak_from_this(), id));
}

void DictationEngine::cancel() {
    const std::uint64_t id = ++sessionID;
    shouldCommitOnFinish = false;
    if (delayedTranscriber) delayedTranscriber->cancelSessionWork();
    // Release the capture objects even when the session had already completed
    // (a start that failed after storing some of them leaves them behind).
    resetRecognition();
    finish(DictationResult::success(""), id);
}

void DictationEngine::shutdown() {
    cancel();
    if (delayedTranscriber) delayedTranscriber->shutdown();
}

bool DictationEngine::usesDelayedExternalTranscription() const {
    return activeSpeechModel == SpeechModel::localWhisper ||
           activeSpeechModel == SpeechModel::openAICloud;
}

bool DictationEngine::localWhisperStatus(const std::string& languageIdentifier) const {
    return delayedTranscriber && delayedTranscriber->hasLocalWhisper(languageIdentifier);
}

std::optional<DictationEngineError> DictationEngine::localWhisperUnavailability(
    const std::string& languageIdentifier) const {
    if (!delayedTranscriber) return DictationEngineError::localWhisperUnavailable();
    return delayedTranscriber->localWhisperUnavailability(languageIdentifier);
}

void DictationEngine::prepareLocalWhisper(const std::string& languageIdentifier) {
    if (delayedTranscriber) delayedTranscriber->prepareLocalWhisper(languageIdentifier);
}

void DictationEngine::finish(DictationResult result, std::uint64_t id) {
    if (id != sessionID || didFinish) return;
    didFinish = true;
    resetRecognition();
    mainQueue->post([handler = onComplete, result = std::move(result)] {
        if (handler) handler(result);
    });
}

void DictationEngine::resetRecognition() {
    if (audioEngine) {
        audioEngine->stop();
        audioEngine->removeTap();
    }
    if (recognitionRequest) recognitionRequest->endAudio();
    if (recognitionTask) recognitionTask->cancel();
    audioEngine.reset();
    recognitionRequest.reset();
    recognitionTask.reset();
    closeRecordingFile();
    // A recording still held here was never handed to a back end: nobody will
    // transcribe or delete it, so it goes now.
    if (recordingFileURL) {
        temporaryFiles->removeFile(*recordingFileURL);
        recordingFileURL.reset();
    }

    activeServiceAccessToken.reset();
    activeContextualStrings.clear();
    activeOpenAIAPIKey.reset();
    transcriptAccumulator.reset();
}

void DictationEngine::closeRecordingFile() {
    // The tap has been removed before, so the capture thread no longer writes.
    if (recordingFile) recordingFile->close();
    recordingFile.reset();
}

void DictationEngine::postPartial(std::string text) {
    mainQueue->post([handler = onPartial, text = std::move(text)] {
        if (handler) handler(text);
    });
}

}  // namespace tavlo
