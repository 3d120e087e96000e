#pragma once
// The facts about the machine the hub shows: microphones and access to them,
// whether the chosen recogniser can run, whether this program may control
// other applications, and the stored OpenAI API key (which the hub stores and
// clears at once, outside the Home draft).
#include <string>
#include <vector>

#include "platform/AudioCapture.h"
#include "platform/SpeechRecognizerService.h"

namespace tavlo {

enum class MicrophoneAccess { authorized, notDetermined, denied, restricted, unknown };

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
