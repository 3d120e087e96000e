#pragma once
// The recognition engine with its real back ends, as the program and the
// commands that transcribe build it: local Whisper through child processes and
// the warm server, the cloud through HTTP, work files in the system's
// temporary folder.
#include <memory>

#include "engine/DictationEngine.h"
#include "platform/HostEnvironment.h"
#include "platform/HttpClient.h"
#include "platform/MainQueue.h"
#include "platform/ProcessLauncher.h"

namespace tavlo {

struct RecognitionServices {
    std::shared_ptr<ProcessLauncher> processLauncher;
    std::shared_ptr<HttpClient> httpClient;
    std::shared_ptr<DictationEngine> engine;
};

// Without microphone and recogniser adapters the engine can transcribe files
// only; live dictation gets them from the desktop program.
RecognitionServices makeFileRecognitionServices(std::shared_ptr<MainQueue> mainQueue, const HostEnvironment& host);

}  // namespace tavlo
