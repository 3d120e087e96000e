#include "app/cli/RecognitionServices.h"

#include <unistd.h>

#include "engine/cloud/CloudTranscriber.h"
#include "engine/session/DelayedBackEnds.h"
#include "engine/whisper/LocalWhisperTranscriber.h"
#include "engine/whisper/WhisperModelCatalogue.h"
#include "platform/linux/http/CurlHttpClient.h"
#include "platform/linux/files/FileWhisperServerLock.h"
#include "platform/linux/process/LoopbackListeners.h"
#include "platform/linux/process/ProcessInfo.h"
#include "platform/linux/process/PosixProcessLauncher.h"
#include "platform/linux/files/SystemTemporaryFiles.h"
#include "platform/linux/audio/LinuxAudioServices.h"
#include "settings/LocaleIdentifier.h"

namespace tavlo {

namespace {

RecognitionServices makeRecognitionServices(std::shared_ptr<MainQueue> mainQueue, const HostEnvironment& host,
                                            const LinuxAudioServices& audio, const SettingsStore* store) {
    RecognitionServices services;
    services.audioCapture = audio.audioCapture;
    services.processLauncher = std::make_shared<PosixProcessLauncher>();
    services.httpClient = std::make_shared<CurlHttpClient>();
    // A work folder of this run's own, removed when the run ends (and, when
    // a run was killed, by the next one).
    auto temporaryFiles = SystemTemporaryFiles::forThisProcess();

    LocalWhisperSettings local;
    local.mainQueue = mainQueue;
    local.processLauncher = services.processLauncher;
    local.httpClient = services.httpClient;
    local.temporaryDirectory = temporaryFiles->temporaryDirectory();
    local.temporaryFiles = temporaryFiles;
    // Read at every look, so a model chosen in Home or with `tavlo settings
    // set whisperModel` applies to the next dictation.
    local.searchLocations = [store] {
        auto locations = WhisperSearchLocations::standard();
        if (store)
            if (const auto chosen = store->whisperModel(); chosen && isWhisperModelName(*chosen))
                locations.chosenModelFile = whisperModelFileName(*chosen);
        return locations;
    };
    local.listenerIsOurs = [](int port) { return loopbackListenersBelongTo(port, ::getuid()); };
    // One server for all of the user's runs, in the private work folder.
    local.serverLock = std::make_shared<FileWhisperServerLock>();
    local.processActivity = [](int pid) { return processActivity(pid); };
    // The last server log outlives the run, for diagnostics.
    try {
        local.serverLogDirectory = SystemTemporaryFiles::privateFolder();
        local.serverLogFiles = std::make_shared<SystemTemporaryFiles>(local.serverLogDirectory);
    } catch (const PlatformError&) {
    }
    CloudTranscriberSettings cloud;
    cloud.mainQueue = mainQueue;
    cloud.httpClient = services.httpClient;
    cloud.endpoints = CloudEndpoints::fromEnvironment(host);
    auto backEnds = std::make_shared<DelayedBackEnds>(LocalWhisperTranscriber::create(std::move(local)),
                                                      CloudTranscriber::create(std::move(cloud)));

    DictationEnginePorts ports;
    ports.mainQueue = std::move(mainQueue);
    ports.speechRecognizer = audio.speechRecognizer;
    services.speechRecognizer = audio.speechRecognizer;
    ports.audioCapture = audio.audioCapture;
    ports.audioFileWriter = audio.audioFileWriter;
    ports.temporaryFiles = std::move(temporaryFiles);
    ports.silenceTrimmer = audio.silenceTrimmer;
    ports.delayedTranscriber = std::move(backEnds);
    ports.localeIdentifier = currentLocaleIdentifier(host);
    services.engine = DictationEngine::create(std::move(ports));
    return services;
}

}  // namespace

RecognitionServices makeFileRecognitionServices(std::shared_ptr<MainQueue> mainQueue, const HostEnvironment& host,
                                                const SettingsStore* store) {
    return makeRecognitionServices(std::move(mainQueue), host, {}, store);
}

RecognitionServices makeLiveRecognitionServices(std::shared_ptr<MainQueue> mainQueue, const HostEnvironment& host,
                                                const SettingsStore* store) {
    return makeRecognitionServices(std::move(mainQueue), host, makeLinuxAudioServices(), store);
}

}  // namespace tavlo
