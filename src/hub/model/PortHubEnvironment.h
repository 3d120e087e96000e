#pragma once
// The hub's environment read from the program's ports. A missing port reads
// as "nothing there": no microphones, no recogniser, not trusted.
#include <memory>

#include "engine/DictationEngine.h"
#include "hub/model/HubEnvironment.h"
#include "platform/Accessibility.h"
#include "platform/LoginStartup.h"
#include "settings/SettingsStore.h"

namespace tavlo {

struct HubEnvironmentPorts {
    SettingsStore* store = nullptr;  // required; outlives the environment
    std::shared_ptr<AudioCapture> audioCapture;
    std::shared_ptr<SpeechRecognizerService> speechRecognizer;
    std::shared_ptr<DictationEngine> dictationEngine;
    std::shared_ptr<Accessibility> accessibility;
    std::shared_ptr<LoginStartup> loginStartup;
};

class PortHubEnvironment final : public HubEnvironment {
public:
    explicit PortHubEnvironment(HubEnvironmentPorts ports);

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

private:
    HubEnvironmentPorts ports_;
};

}  // namespace tavlo
