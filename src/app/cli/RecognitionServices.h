#pragma once
// The recognition engine with its real back ends, as the program and the
// commands that transcribe build it: local Whisper through child processes and
// the warm server, the cloud through HTTP, work files in the system's
// temporary folder, and for dictation the microphone, recording files and the
// on-device recogniser.
#include <memory>

#include "engine/DictationEngine.h"
#include "platform/AudioCapture.h"
#include "platform/SpeechRecognizerService.h"
#include "platform/HostEnvironment.h"
#include "platform/HttpClient.h"
#include "platform/MainQueue.h"
#include "platform/ProcessLauncher.h"
#include "settings/SettingsStore.h"

namespace tavlo {

struct RecognitionServices {
    std::shared_ptr<ProcessLauncher> processLauncher;
    std::shared_ptr<HttpClient> httpClient;
    // Null for file transcription, which needs no microphone.
    std::shared_ptr<AudioCapture> audioCapture;
    // The on-device recogniser the engine uses; null for file transcription.
    std::shared_ptr<SpeechRecognizerService> speechRecognizer;
    std::shared_ptr<DictationEngine> engine;
};

// Without microphone and recogniser the engine can transcribe files only.
// With a settings store (which must outlive the services) local Whisper uses
// the model the user chose when it is installed.
RecognitionServices makeFileRecognitionServices(std::shared_ptr<MainQueue> mainQueue, const HostEnvironment& host,
                                                const SettingsStore* store = nullptr);

// Everything a dictation needs: the file back ends plus the microphone through
// the sound server, recording files and the on-device recogniser.
RecognitionServices makeLiveRecognitionServices(std::shared_ptr<MainQueue> mainQueue, const HostEnvironment& host,
                                                const SettingsStore* store = nullptr);

}  // namespace tavlo
