#pragma once
// Turns the user's speech into exactly one final transcript per dictation
// session, whatever arrives late, twice or never. Three back ends sit behind
// one contract: the on-device recogniser fed live from the microphone, and two
// that record to a file and transcribe it after stop (local Whisper and the
// cloud), with the on-device recogniser as a live preview while recording.
//
// Every public member is called on the main thread, and both callbacks are
// always posted to the main queue, never run inside the call that caused them.
// Asynchronous continuations hold the engine weakly and carry the id of the
// session they belong to; a continuation of an abandoned session does nothing.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/session/DelayedTranscriber.h"
#include "engine/DictationEngineError.h"
#include "engine/DictationResult.h"
#include "engine/session/TranscriptAccumulator.h"
#include "platform/AudioCapture.h"
#include "platform/AudioFileWriter.h"
#include "platform/MainQueue.h"
#include "platform/SilenceTrimmer.h"
#include "platform/SpeechRecognizerService.h"
#include "platform/TemporaryFiles.h"
#include "base/Enums.h"

namespace tavlo {

struct DictationEnginePorts {
    std::shared_ptr<MainQueue> mainQueue;
    std::shared_ptr<SpeechRecognizerService> speechRecognizer;
    std::shared_ptr<AudioCapture> audioCapture;
    std::shared_ptr<AudioFileWriter> audioFileWriter;
    std::shared_ptr<TemporaryFiles> temporaryFiles;
    // May be null while no back end for the delayed models exists; local
    // Whisper then counts as not installed and the cloud as unavailable.
    std::shared_ptr<DelayedTranscriber> delayedTranscriber;
    // The user's current locale, such as "en_US": the language of a session
    // that names none.
    std::string localeIdentifier = "en_US";
    // Cuts the silence around a dictation before local Whisper or the cloud
    // hears it; null sends recordings as they are.
    std::shared_ptr<SilenceTrimmer> silenceTrimmer = nullptr;
};

// The settings of one session.
struct DictationStartOptions {
    SpeechModel model = SpeechModel::appleOnDevice;
    std::vector<std::string> contextualStrings;     // the user's dictionary words
    std::optional<std::string> languageIdentifier;  // absent: the user's current locale
    std::optional<std::string> microphoneUniqueID;  // absent or empty: the default input
    std::optional<std::string> serviceAccessToken;
    OpenAICloudMode openAICloudMode = OpenAICloudMode::service;
    std::optional<std::string> openAIAPIKey;
};

class DictationEngine : public std::enable_shared_from_this<DictationEngine> {
public:
    using PartialHandler = std::function<void(const std::string& text)>;
    using CompletionHandler = std::function<void(const DictationResult& result)>;
    // Receives no value when every permission was granted.
    using PermissionCompletion = std::function<void(const std::optional<DictationEngineError>& denial)>;

    static std::shared_ptr<DictationEngine> create(DictationEnginePorts ports);
    ~DictationEngine();
    DictationEngine(const DictationEngine&) = delete;
    DictationEngine& operator=(const DictationEngine&) = delete;

    // During recording the merged partial transcript; after stop, for the
    // delayed back ends, a progress text.
    PartialHandler onPartial;
    // The one outcome of a session. The handler set when the outcome is
    // issued is the one called.
    CompletionHandler onComplete;
    // The microphone stopped giving sound while the session listened (it was
    // unplugged, or the sound server went away). The session keeps what it
    // heard and waits for stopAndCommit or cancel like any other.
    std::function<void()> onInputLost;

    // Asks for what `model` needs: speech recognition and then the microphone
    // for the on-device model, only the microphone otherwise.
    void requestPermissions(SpeechModel model, PermissionCompletion completion);

    // Starts a new session, silently abandoning any earlier one. Throws
    // DictationEngineError or PlatformError when the back end cannot start;
    // no completion follows then.
    void start(const DictationStartOptions& options);

    // Transcribes an existing audio or video file as a session without a
    // microphone, with local Whisper or the cloud; the text (possibly empty)
    // or the failure arrives once through onComplete, after progress texts
    // through onPartial. The source is never modified: the back ends work on a
    // copy in the temporary folder and delete it. Throws DictationEngineError
    // or PlatformError when it cannot start; no completion follows then.
    // An absent language means the user's current locale.
    void transcribeFile(const std::filesystem::path& sourceURL, SpeechModel model,
                        const std::optional<std::string>& languageIdentifier,
                        const std::optional<std::string>& serviceAccessToken,
                        OpenAICloudMode openAICloudMode, const std::optional<std::string>& openAIAPIKey);

    // Ends capture; the final text arrives through onComplete.
    void stopAndCommit();

    // Abandons the session and everything it started; onComplete receives an
    // empty success unless the session had already completed.
    void cancel();

    // cancel() and stop the warm Whisper server; for the end of the program.
    void shutdown();

    // The final text of the session arrives only after an external
    // transcription that follows stop.
    bool usesDelayedExternalTranscription() const;

    // Whether local Whisper is installed and can transcribe this language.
    bool localWhisperStatus(const std::string& languageIdentifier) const;
    // Why local Whisper cannot transcribe this language (the failure a
    // dictation or a file transcription would end with), or nothing when it can.
    std::optional<DictationEngineError> localWhisperUnavailability(const std::string& languageIdentifier) const;

    // Warms up local Whisper for the language in the background.
    void prepareLocalWhisper(const std::string& languageIdentifier);

private:
    friend class SessionCompletion;
    enum class RecordingKind { localWhisper, cloud };

    explicit DictationEngine(DictationEnginePorts ports);

    // Session lifecycle (DictationEngineSession.cpp).
    void finish(DictationResult result, std::uint64_t id);
    void resetRecognition();
    void closeRecordingFile();
    void postPartial(std::string text);
    void startDelayedTranscription(SpeechModel model, const std::string& progressText,
                                   std::uint64_t id);

    // Permissions (DictationEnginePermissions.cpp).
    void requestMicrophoneAccess(PermissionCompletion completion);

    // On-device recognition and preview (DictationEngineSpeech.cpp).
    void startAppleSpeech(const std::vector<std::string>& contextualStrings,
                          const std::string& languageIdentifier, std::uint64_t id);
    std::shared_ptr<RecognitionRequest> startAppleSpeechPreviewIfAvailable(
        const std::vector<std::string>& contextualStrings, const std::string& languageIdentifier,
        std::uint64_t id);
    RecognitionHandler recognitionHandler(std::uint64_t id, bool preview);
    void handleLiveRecognition(std::uint64_t id, const std::optional<RecognitionResult>& result,
                               const std::optional<PlatformError>& error);
    void handlePreviewRecognition(std::uint64_t id, const std::optional<RecognitionResult>& result);
    void ingestRecognitionResult(const RecognitionResult& result);
    AudioInput::LossHandler lossHandler(std::uint64_t id);

    // Microphone and recording (DictationEngineRecording.cpp).
    void startLocalWhisperRecording(const std::vector<std::string>& contextualStrings,
                                    const std::string& languageIdentifier, std::uint64_t id);
    void startCloudRecording(const std::vector<std::string>& contextualStrings,
                             const std::string& languageIdentifier, std::uint64_t id);
    void startRecording(RecordingKind kind, const std::vector<std::string>& contextualStrings,
                        const std::string& languageIdentifier, std::uint64_t id);
    AudioInput::TapBlock recordingTap(std::uint64_t id, std::shared_ptr<WritableAudioFile> file,
                                      std::shared_ptr<RecognitionRequest> previewRequest);
    std::unique_ptr<AudioInput> makeAudioInput();
    void applyInputDevice(const std::optional<std::string>& uniqueID, AudioInput& input);
    void beginCapture();

    // Ports.
    std::shared_ptr<MainQueue> mainQueue;
    std::shared_ptr<SpeechRecognizerService> speechRecognizer;
    std::shared_ptr<AudioCapture> audioCapture;
    std::shared_ptr<AudioFileWriter> audioFileWriter;
    std::shared_ptr<TemporaryFiles> temporaryFiles;
    std::shared_ptr<DelayedTranscriber> delayedTranscriber;
    std::shared_ptr<SilenceTrimmer> silenceTrimmer;
    std::string currentLocaleIdentifier;

    // Capture objects of the running session.
    std::unique_ptr<AudioInput> audioEngine;
    std::shared_ptr<RecognitionRequest> recognitionRequest;  // main request, or the preview's
    std::unique_ptr<RecognitionTask> recognitionTask;
    // Shared with the recording tap, which writes on the capture thread.
    std::shared_ptr<WritableAudioFile> recordingFile;
    std::optional<std::filesystem::path> recordingFileURL;
    // The file is a recording of ours, already in Whisper's form (not a
    // copy of a file the user chose).
    bool recordingIsWhisperWav = false;

    // Session state.
    TranscriptAccumulator transcriptAccumulator;
    std::string lastPartialText;
    bool didFinish = false;
    // A recogniser error after some partial text commits that text instead.
    bool shouldCommitOnFinish = true;
    std::uint64_t sessionID = 0;
    SpeechModel activeSpeechModel = SpeechModel::appleOnDevice;
    std::string activeLanguageIdentifier;
    std::optional<std::string> activeMicrophoneUniqueID;
    std::optional<std::string> activeServiceAccessToken;
    std::vector<std::string> activeContextualStrings;
    OpenAICloudMode activeOpenAICloudMode = OpenAICloudMode::service;
    std::optional<std::string> activeOpenAIAPIKey;
};

}  // namespace tavlo
