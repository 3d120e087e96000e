#pragma once
// A hub model over a settings store on simulated services, with a host,
// feedback and environment that the test describes and reads back.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "hub/model/HubViewModel.h"
#include "platform/sim/InMemoryPreferenceStore.h"
#include "platform/sim/InMemorySecretStore.h"
#include "platform/sim/ManualWallClock.h"
#include "platform/sim/SimulatedHostEnvironment.h"
#include "settings/SettingsStore.h"

namespace tavlo::testing {

// The application controller as the hub sees it: every request is written
// down; file transcriptions wait until the test answers them.
class FakeHubHost : public HubHost {
public:
    void reloadHotKeys() override { calls.push_back("reloadHotKeys"); }
    void prepareLocalWhisperIfNeeded() override { calls.push_back("prepareLocalWhisperIfNeeded"); }
    void setShortcutCaptureActive(bool active) override {
        calls.push_back(active ? "captureActive(true)" : "captureActive(false)");
    }
    std::string shortcutStatusText() const override { return statusText; }
    std::string functionKeyName() const override { return functionKey; }
    TriggerMechanism triggerMechanism() const override { return mechanism; }
    void checkForUpdates() override { calls.push_back("checkForUpdates"); }
    void copyTextFromHub(const std::string& text) override { calls.push_back("copy:" + text); }
    void pasteTextFromHub(const std::string& text) override { calls.push_back("paste:" + text); }
    void transcribeFile(const std::filesystem::path& file, FileTranscriptionCompletion completion) override {
        calls.push_back("transcribe:" + file.string());
        if (answerAtOnce)
            completion(*answerAtOnce);
        else
            transcriptions.push_back(std::move(completion));
    }

    std::vector<std::string> calls;
    std::string statusText = "All shortcuts registered";
    std::string functionKey = "Fn";
    TriggerMechanism mechanism;  // X11 key grabs
    // When set, transcriptions are answered inside the call, as a refusal is.
    std::optional<FileTranscriptionResult> answerAtOnce;
    std::vector<FileTranscriptionCompletion> transcriptions;
};

class FakeFeedback : public HubFeedback {
public:
    void beep() override { ++beeps; }
    void hapticTick() override { ++ticks; }
    int beeps = 0;
    int ticks = 0;
};

// Everything ready by default; the key lives in the settings store's secrets.
class FakeEnvironment : public HubEnvironment {
public:
    explicit FakeEnvironment(SettingsStore& store) : store_(store) {}

    std::vector<AudioDeviceInfo> inputDevices() override { return devices; }
    MicrophoneAccess microphoneAccess() const override { return microphone; }
    SpeechAuthorizationStatus speechRecognitionAuthorization() const override { return speech; }
    bool supportsOnDeviceRecognition(const std::string& language) override {
        return onDeviceLanguages.empty() || std::find(onDeviceLanguages.begin(), onDeviceLanguages.end(), language) !=
                                                onDeviceLanguages.end();
    }
    bool localWhisperReady(const std::string&) const override { return whisperReady; }
    bool accessibilityTrusted() const override { return trusted; }
    bool startsAtLogin() const override { return loginStartup; }
    bool setStartsAtLogin(bool enabled) override {
        if (!loginStartupChangeable) return false;
        loginStartup = enabled;
        return true;
    }
    bool hasOpenAIAPIKey() const override { return store_.hasOpenAIAPIKey(); }
    bool storeOpenAIAPIKey(const std::string& key) override { return store_.setOpenAIAPIKey(key); }
    bool clearOpenAIAPIKey() override { return store_.setOpenAIAPIKey(std::nullopt); }
    LocalWhisperSetup localWhisperSetup(const std::string&, const std::optional<std::string>& chosen) const override {
        // The chosen model is the one in use once it is installed, as on the machine.
        LocalWhisperSetup setup = whisper;
        if (chosen && std::find(setup.installedModels.begin(), setup.installedModels.end(), *chosen) !=
                          setup.installedModels.end())
            setup.modelInUse = *chosen;
        return setup;
    }
    bool startWhisperModelDownload(const WhisperModel& model,
                                   std::function<void(const WhisperModelDownloadProgress&)> progress,
                                   std::function<void(const WhisperModelDownloadOutcome&)> finished) override {
        if (!downloadsPossible) return false;
        downloads.push_back(model.name);
        downloadProgress = std::move(progress);
        downloadFinished = std::move(finished);
        return true;
    }
    void cancelWhisperModelDownload() override { ++downloadCancels; }

    // Everything ready again.
    void reset() {
        microphone = MicrophoneAccess::authorized;
        speech = SpeechAuthorizationStatus::authorized;
        onDeviceLanguages.clear();
        whisperReady = true;
        trusted = true;
    }

    std::vector<AudioDeviceInfo> devices{{1, "alsa_input.usb-mic", "USB Microphone"},
                                         {2, "alsa_input.builtin", "Built-in Audio"}};
    MicrophoneAccess microphone = MicrophoneAccess::authorized;
    SpeechAuthorizationStatus speech = SpeechAuthorizationStatus::authorized;
    std::vector<std::string> onDeviceLanguages;  // empty: every language
    bool whisperReady = true;
    bool trusted = true;
    bool loginStartup = false;
    bool loginStartupChangeable = true;
    LocalWhisperSetup whisper{true, "base.en", {"base.en"}};
    bool downloadsPossible = true;
    std::vector<std::string> downloads;  // the models asked for, in order
    std::function<void(const WhisperModelDownloadProgress&)> downloadProgress;
    std::function<void(const WhisperModelDownloadOutcome&)> downloadFinished;
    int downloadCancels = 0;

private:
    SettingsStore& store_;
};

// A preference store that also writes down the keys it is asked to change.
class RecordingPreferenceStore : public InMemoryPreferenceStore {
public:
    void set(std::string_view key, PreferenceValue value) override {
        changedKeys.emplace_back(key);
        InMemoryPreferenceStore::set(key, std::move(value));
    }
    void remove(std::string_view key) override {
        changedKeys.emplace_back(key);
        InMemoryPreferenceStore::remove(key);
    }
    std::vector<std::string> changedKeys;
};

class HubModelTest : public ::testing::Test {
protected:
    HubModelTest() { makeHub(); }

    // A new model over the same store, as when the window is made.
    void makeHub(HubLocale locale = {"en_US", "UTC"}) {
        hub.reset();
        hub = std::make_unique<HubViewModel>(store, feedback, environment, std::move(locale));
        hub->setHost(appHost);
        hub->setViewCallbacks({[this](HubSection section) { events.push_back("render " + std::string(sectionTitle(section))); },
                               [this] { events.push_back("refresh"); },
                               [this] { events.push_back("historyChanged"); },
                               [this] { events.push_back("whisperDownloadProgressed"); }});
    }

    // Host calls and view events since the last look, then forgets them.
    std::vector<std::string> takeHostCalls() { return std::exchange(appHost->calls, {}); }
    std::vector<std::string> takeEvents() { return std::exchange(events, {}); }

    HomeViewModel& home() { return hub->home(); }

    static SimulatedHostEnvironment englishMachine() {
        SimulatedHostEnvironment machine;
        machine.variables["LANG"] = "en_US.UTF-8";
        return machine;
    }

    RecordingPreferenceStore preferences;
    InMemorySecretStore secrets;
    SimulatedHostEnvironment machine = englishMachine();
    ManualWallClock clock;
    SettingsStore store{preferences, secrets, machine, clock};
    std::shared_ptr<FakeHubHost> appHost = std::make_shared<FakeHubHost>();
    std::shared_ptr<FakeFeedback> feedback = std::make_shared<FakeFeedback>();
    std::shared_ptr<FakeEnvironment> environment = std::make_shared<FakeEnvironment>(store);
    std::vector<std::string> events;
    std::unique_ptr<HubViewModel> hub;
};

}  // namespace tavlo::testing
