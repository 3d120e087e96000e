#pragma once
// The facts about the machine the hub shows: microphones and access to them,
// whether the chosen recogniser can run, whether this program may control
// other applications, and the stored OpenAI API key (which the hub stores and
// clears at once, outside the Home draft).
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/whisper/WhisperModelCatalogue.h"
#include "engine/whisper/WhisperModelDownload.h"
#include "platform/AudioCapture.h"
#include "platform/SpeechRecognizerService.h"

namespace tavlo {

enum class MicrophoneAccess { authorized, notDetermined, denied, restricted, unknown };

// What local Whisper has on this machine, for the Speech row.
struct LocalWhisperSetup {
    bool toolsFound = false;                // whisper-server or whisper-cli, and ffmpeg
    std::optional<std::string> modelInUse;  // the model's name ("base.en"), when one is installed
    std::vector<std::string> installedModels;  // names from the catalogue
    bool operator==(const LocalWhisperSetup&) const = default;
};

class HubEnvironment {
public:
    virtual ~HubEnvironment() = default;

    // Capture devices in the system's order; empty when the list cannot be read.
    virtual std::vector<AudioDeviceInfo> inputDevices() = 0;
    virtual MicrophoneAccess microphoneAccess() const = 0;

    virtual SpeechAuthorizationStatus speechRecognitionAuthorization() const = 0;
    // A recogniser for the language exists and recognises on the device.
    virtual bool supportsOnDeviceRecognition(const std::string& languageIdentifier) = 0;
    // Local Whisper is installed with a model for the language.
    virtual bool localWhisperReady(const std::string& languageIdentifier) const = 0;

    // The machine's local Whisper with `chosenModel` preferred (the Home
    // draft's choice, which may not be saved yet).
    virtual LocalWhisperSetup localWhisperSetup(const std::string& languageIdentifier,
                                                const std::optional<std::string>& chosenModel) const {
        (void)languageIdentifier;
        (void)chosenModel;
        return {};
    }
    // The models Home offers.
    virtual const WhisperModelCatalogue& whisperModels() const { return publishedWhisperModels(); }
    // Downloads one model into the model folder; progress and the outcome
    // arrive on the main thread. One download at a time: false (and nothing
    // called) while another runs or when downloads are not possible here.
    virtual bool startWhisperModelDownload(const WhisperModel& model,
                                           std::function<void(const WhisperModelDownloadProgress&)> progress,
                                           std::function<void(const WhisperModelDownloadOutcome&)> finished) {
        (void)model;
        (void)progress;
        (void)finished;
        return false;
    }
    // Stops the download; its outcome (cancelled) still arrives.
    virtual void cancelWhisperModelDownload() {}

    // This program may read and control other applications' text fields.
    virtual bool accessibilityTrusted() const = 0;

    // The program starts by itself when the user logs in; setting it acts at
    // once and is false when the desktop refused the change.
    virtual bool startsAtLogin() const = 0;
    virtual bool setStartsAtLogin(bool enabled) = 0;

    virtual bool hasOpenAIAPIKey() const = 0;
    // Both return false when the secret store refused.
    virtual bool storeOpenAIAPIKey(const std::string& key) = 0;
    virtual bool clearOpenAIAPIKey() = 0;
};

}  // namespace tavlo
