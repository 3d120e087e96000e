#pragma once
// The back ends that turn a finished recording into text after stop: local
// Whisper (command line or warm server) and the cloud. The engine records and
// owns the session; a DelayedTranscriber owns everything the transcription
// starts (child processes, uploads, the warm server) and reports once through
// the SessionCompletion it is given.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/DictationEngineError.h"
#include "engine/session/SessionCompletion.h"
#include "base/Enums.h"

namespace tavlo {

// The session's settings as they were when the recording stopped.
struct DelayedTranscriptionJob {
    SpeechModel model = SpeechModel::localWhisper;  // localWhisper or openAICloud
    // The closed recording; absent when there is none. The back end deletes
    // it when the transcription completes.
    std::optional<std::filesystem::path> audioFile;
    std::string languageIdentifier;
    std::vector<std::string> contextualStrings;
    OpenAICloudMode openAICloudMode = OpenAICloudMode::service;
    std::optional<std::string> openAIAPIKey;
    std::optional<std::string> serviceAccessToken;
    // The audio file is already 16 kHz mono 16-bit PCM WAVE: local Whisper
    // reads it as it is.
    bool audioIsWhisperWav = false;
};

// All members are called on the main thread.
class DelayedTranscriber {
public:
    virtual ~DelayedTranscriber() = default;

    // Whether a local Whisper installation can transcribe this language; asked
    // when a local recording starts.
    virtual bool hasLocalWhisper(const std::string& languageIdentifier) = 0;

    // Why local Whisper cannot transcribe this language (the failure to show,
    // with what to do), or nothing when it can. Back ends that cannot tell
    // the reason give the plain "not installed" failure.
    virtual std::optional<DictationEngineError> localWhisperUnavailability(const std::string& languageIdentifier) {
        if (hasLocalWhisper(languageIdentifier)) return std::nullopt;
        return DictationEngineError::localWhisperUnavailable();
    }

    // Starts transcribing. The outcome goes to `completion.finish` on the main
    // thread, possibly within this call for an immediate failure.
    virtual void transcribe(DelayedTranscriptionJob job, SessionCompletion completion) = 0;

    // The session is abandoned: cancel uploads in flight and terminate the
    // session's child process. A warm server keeps running.
    virtual void cancelSessionWork() = 0;

    // Starts or re-uses the warm server for the language in the background;
    // the outcome is ignored.
    virtual void prepareLocalWhisper(const std::string& languageIdentifier) = 0;

    // The program ends: stop the warm server.
    virtual void shutdown() = 0;
};

}  // namespace tavlo
