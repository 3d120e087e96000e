// The microphone: input device choice, and recording to a temporary file for
// the back ends that transcribe after stop. The file is written in the form
// Whisper reads (16 kHz mono 16-bit PCM WAVE), so nothing converts it after
// stop, and the cloud receives a file a fraction of the size.
#include <utility>

#include "engine/DictationEngine.h"
#include "engine/support/RandomUuid.h"

namespace tavlo {
namespace {

constexpr std::size_t recordingTapBufferFrames = 2048;

}  // namespace

void DictationEngine::startLocalWhisperRecording(const std::vector<std::string>& contextualStrings,
                                                 const std::string& languageIdentifier,
                                                 std::uint64_t id) {
    startRecording(RecordingKind::localWhisper, contextualStrings, languageIdentifier, id);
}

void DictationEngine::startCloudRecording(const std::vector<std::string>& contextualStrings,
                                          const std::string& languageIdentifier, std::uint64_t id) {
    startRecording(RecordingKind::cloud, contextualStrings, languageIdentifier, id);
}

void DictationEngine::startRecording(RecordingKind kind, const std::vector<std::string>& contextualStrings,
                                     const std::string& languageIdentifier, std::uint64_t id) {
    const bool local = kind == RecordingKind::localWhisper;
    // The back end is chosen again when the transcription runs; this only
    // refuses to record what could not be transcribed.
    if (local)
        if (auto unavailable = localWhisperUnavailability(languageIdentifier)) throw std::move(*unavailable);

    std::unique_ptr<AudioInput> input = makeAudioInput();
    applyInputDevice(activeMicrophoneUniqueID, *input);
    const AudioFormat format = input->inputFormat();
    if (format.channelCount == 0) throw DictationEngineError::noInputAvailable();

    const std::filesystem::path folder =
        temporaryFiles->temporaryDirectory() / (local ? "SorvelWhisper" : "SorvelCloud");
    temporaryFiles->createDirectories(folder);
    const std::filesystem::path fileURL = folder / ("recording-" + makeRandomUuid() + ".wav");
    std::shared_ptr<WritableAudioFile> file = audioFileWriter->open(fileURL, AudioFileContainer::whisperWav, format);

    std::shared_ptr<RecognitionRequest> preview =
        startAppleSpeechPreviewIfAvailable(contextualStrings, languageIdentifier, id);

    input->removeTap();
    input->installTap(recordingTapBufferFrames, recordingTap(id, file, preview));
    input->installLossHandler(lossHandler(id));

    transcriptAccumulator.reset();
    lastPartialText.clear();
    didFinish = false;
    shouldCommitOnFinish = true;
    recordingFile = std::move(file);
    recordingFileURL = fileURL;
    recordingIsWhisperWav = true;
    audioEngine = std::move(input);
    beginCapture();
}

AudioInput::TapBlock DictationEngine::recordingTap(std::uint64_t id,
                                                   std::shared_ptr<WritableAudioFile> file,
                                                   std::shared_ptr<RecognitionRequest> previewRequest) {
    // Runs on the capture thread, so it touches only what it was given here,
    // never the engine. The engine removes the tap before it closes the file
    // or ends the session, and removal waits for a running block.
    return [weak = weak_from_this(), queue = mainQueue, id, file = std::move(file),
            previewRequest = std::move(previewRequest),
            writeFailed = false](const AudioBuffer& buffer) mutable {
        if (writeFailed) return;
        if (file) {
            if (std::optional<PlatformError> error = file->write(buffer)) {
                writeFailed = true;
                // The session ends on the main thread, exactly as if the write
                // had failed there; a later session makes this a no-op.
                queue->post([weak, id, error = std::move(*error)] {
                    if (auto self = weak.lock()) self->finish(DictationResult::failure(error), id);
                });
                return;
            }
        }
        if (previewRequest) previewRequest->append(buffer);
    };
}

AudioInput::LossHandler DictationEngine::lossHandler(std::uint64_t id) {
    // Runs on the capture thread: only passes the news to the main queue,
    // where a later session or a finished one makes it a no-op.
    return [weak = weak_from_this(), queue = mainQueue, id] {
        queue->post([weak, id] {
            auto self = weak.lock();
            if (!self || self->sessionID != id || self->didFinish) return;
            if (self->onInputLost) self->onInputLost();
        });
    };
}

std::unique_ptr<AudioInput> DictationEngine::makeAudioInput() {
    std::unique_ptr<AudioInput> input = audioCapture->makeInput();
    if (!input) throw DictationEngineError::noInputAvailable();
    return input;
}

void DictationEngine::applyInputDevice(const std::optional<std::string>& uniqueID, AudioInput& input) {
    if (!uniqueID || uniqueID->empty()) return;
    const std::optional<std::vector<AudioDeviceInfo>> devices = audioCapture->inputDevices();
    if (!devices) return;
    for (const AudioDeviceInfo& device : *devices) {
        if (device.uniqueID && *device.uniqueID == *uniqueID) {
            if (!input.setCurrentDevice(device.deviceID)) throw DictationEngineError::noInputAvailable();
            return;
        }
    }
    // A device that is no longer connected: record from the default input.
}

void DictationEngine::beginCapture() {
    audioEngine->prepare();
    audioEngine->start();
}

}  // namespace tavlo
