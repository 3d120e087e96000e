#pragma once
// The hub's environment read from the program's ports. A missing port reads
// as "nothing there": no microphones, no recogniser, not trusted.
#include <memory>

#include "engine/DictationEngine.h"
#include "engine/whisper/WhisperInstallation.h"
#include "hub/model/HubEnvironment.h"
#include "platform/Accessibility.h"
#include "platform/DiskSpace.h"
#include "platform/FileDownloader.h"
#include "platform/LoginStartup.h"
#include "platform/MainQueue.h"
#include "settings/SettingsStore.h"

namespace tavlo {

struct HubEnvironmentPorts {
    SettingsStore* store = nullptr;  // required; outlives the environment
    std::shared_ptr<AudioCapture> audioCapture;
    std::shared_ptr<SpeechRecognizerService> speechRecognizer;
    std::shared_ptr<DictationEngine> dictationEngine;
    std::shared_ptr<Accessibility> accessibility;
    std::shared_ptr<LoginStartup> loginStartup;
    // Model downloads: all three are needed for Home to offer them.
    std::shared_ptr<MainQueue> mainQueue = nullptr;
    std::shared_ptr<FileDownloader> fileDownloader = nullptr;
    std::shared_ptr<DiskSpace> diskSpace = nullptr;
    WhisperModelCatalogue whisperModels = publishedWhisperModels();
    std::function<WhisperSearchLocations()> whisperLocations = [] { return WhisperSearchLocations::standard(); };
};

class PortHubEnvironment final : public HubEnvironment {
public:
    explicit PortHubEnvironment(HubEnvironmentPorts ports);
    // A download still running is stopped; its partial file stays.
    ~PortHubEnvironment() override;

    std::vector<AudioDeviceInfo> inputDevices() override;
    // The desktop has no per-application microphone permission: always authorised.
    MicrophoneAccess microphoneAccess() const override;
    SpeechAuthorizationStatus speechRecognitionAuthorization() const override;
    bool supportsOnDeviceRecognition(const std::string& languageIdentifier) override;
    bool localWhisperReady(const std::string& languageIdentifier) const override;
    bool accessibilityTrusted() const override;
    bool startsAtLogin() const override;
    bool setStartsAtLogin(bool enabled) override;
    bool hasOpenAIAPIKey() const override;
    bool storeOpenAIAPIKey(const std::string& key) override;
    bool clearOpenAIAPIKey() override;
    LocalWhisperSetup localWhisperSetup(const std::string& languageIdentifier,
                                        const std::optional<std::string>& chosenModel) const override;
    const WhisperModelCatalogue& whisperModels() const override { return ports_.whisperModels; }
    bool startWhisperModelDownload(const WhisperModel& model,
                                   std::function<void(const WhisperModelDownloadProgress&)> progress,
                                   std::function<void(const WhisperModelDownloadOutcome&)> finished) override;
    void cancelWhisperModelDownload() override;

private:
    HubEnvironmentPorts ports_;
    std::shared_ptr<WhisperModelDownload> download_;
    // Held weakly by a download's outcome, which may arrive after this is gone.
    std::shared_ptr<PortHubEnvironment*> self_ = std::make_shared<PortHubEnvironment*>(this);
};

}  // namespace tavlo
