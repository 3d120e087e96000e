// The on-device recogniser: live recognition for the on-device model, and the
// preview that runs beside a recording for the delayed back ends.
#include <utility>

#include "engine/DictationEngine.h"

namespace tavlo {
namespace {

constexpr std::size_t liveTapBufferFrames = 1024;

// Identical for live recognition and the preview: partial results, on the
// device only, dictation, punctuation, the user's words as hints.
RecognitionRequestSettings requestSettings(const std::vector<std::string>& contextualStrings) {
    RecognitionRequestSettings settings;
    settings.shouldReportPartialResults = true;
    settings.requiresOnDeviceRecognition = true;
    settings.taskHint = RecognitionTaskHint::dictation;
    settings.addsPunctuation = true;
    settings.contextualStrings = contextualStrings;
    return settings;
}

}  // namespace

void DictationEngine::startAppleSpeech(const std::vector<std::string>& contextualStrings,
                                       const std::string& languageIdentifier, std::uint64_t id) {
    std::unique_ptr<SpeechRecognizer> recognizer = speechRecognizer->makeRecognizer(languageIdentifier);
    if (!recognizer || !recognizer->isAvailable()) throw DictationEngineError::speechUnavailable();
    // Speech never leaves the machine: a language without on-device support is refused.
    if (!recognizer->supportsOnDeviceRecognition())
        throw DictationEngineError::onDeviceRecognitionUnavailable();

    std::unique_ptr<AudioInput> input = makeAudioInput();
    applyInputDevice(activeMicrophoneUniqueID, *input);
    std::shared_ptr<RecognitionRequest> request =
        recognizer->makeRequest(requestSettings(contextualStrings));
    if (input->inputFormat().channelCount == 0) throw DictationEngineError::noInputAvailable();

    input->removeTap();
    input->installTap(liveTapBufferFrames, [request](const AudioBuffer& buffer) { request->append(buffer); });
    input->installLossHandler(lossHandler(id));

    transcriptAccumulator.reset();
    lastPartialText.clear();
    didFinish = false;
    shouldCommitOnFinish = true;
    recognitionRequest = request;
    audioEngine = std::move(input);

    recognitionTask = recognizer->startTask(request, recognitionHandler(id, false));
    beginCapture();
}

std::shared_ptr<RecognitionRequest> DictationEngine::startAppleSpeechPreviewIfAvailable(
    const std::vector<std::string>& contextualStrings, const std::string& languageIdentifier,
    std::uint64_t id) {
    // The preview never asks for permission.
    if (speechRecognizer->authorizationStatus() != SpeechAuthorizationStatus::authorized) return nullptr;
    std::unique_ptr<SpeechRecognizer> recognizer = speechRecognizer->makeRecognizer(languageIdentifier);
    if (!recognizer || !recognizer->isAvailable() || !recognizer->supportsOnDeviceRecognition())
        return nullptr;

    std::shared_ptr<RecognitionRequest> request =
        recognizer->makeRequest(requestSettings(contextualStrings));
    recognitionRequest = request;
    recognitionTask = recognizer->startTask(request, recognitionHandler(id, true));
    return request;
}

RecognitionHandler DictationEngine::recognitionHandler(std::uint64_t id, bool preview) {
    // The recogniser may answer on any thread; everything happens on the main queue.
    return [weak = weak_from_this(), queue = mainQueue, id, preview](
               const std::optional<RecognitionResult>& result, const std::optional<PlatformError>& error) {
        queue->post([weak, id, preview, result, error] {
            auto self = weak.lock();
            if (!self) return;
            if (preview)
                self->handlePreviewRecognition(id, result);
            else
                self->handleLiveRecognition(id, result, error);
        });
    };
}

void DictationEngine::handleLiveRecognition(std::uint64_t id,
                                            const std::optional<RecognitionResult>& result,
                                            const std::optional<PlatformError>& error) {
    // After completion the cancelled task may still answer; nothing of it
    // reaches the controller.
    if (id != sessionID || didFinish) return;
    if (result) {
        ingestRecognitionResult(*result);
        if (result->isFinal) finish(DictationResult::success(lastPartialText), id);
    }
    if (error) {
        if (shouldCommitOnFinish && !lastPartialText.empty())
            finish(DictationResult::success(lastPartialText), id);
        else
            finish(DictationResult::failure(*error), id);
    }
}

void DictationEngine::handlePreviewRecognition(std::uint64_t id,
                                               const std::optional<RecognitionResult>& result) {
    // The preview only shows text; its final results and errors never end the session.
    if (id != sessionID || didFinish || !result) return;
    ingestRecognitionResult(*result);
}

void DictationEngine::ingestRecognitionResult(const RecognitionResult& result) {
    lastPartialText = transcriptAccumulator.ingest(result.formattedText, result.firstSegmentTimestamp);
    postPartial(lastPartialText);
}

}  // namespace tavlo
