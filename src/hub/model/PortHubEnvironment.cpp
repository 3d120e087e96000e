#include "hub/model/PortHubEnvironment.h"

#include <utility>

namespace tavlo {

PortHubEnvironment::PortHubEnvironment(HubEnvironmentPorts ports) : ports_(std::move(ports)) {}

std::vector<AudioDeviceInfo> PortHubEnvironment::inputDevices() {
    if (!ports_.audioCapture) return {};
    return ports_.audioCapture->inputDevices().value_or(std::vector<AudioDeviceInfo>{});
}

MicrophoneAccess PortHubEnvironment::microphoneAccess() const { return MicrophoneAccess::authorized; }

SpeechAuthorizationStatus PortHubEnvironment::speechRecognitionAuthorization() const {
    if (!ports_.speechRecognizer) return SpeechAuthorizationStatus::restricted;
    return ports_.speechRecognizer->authorizationStatus();
}

bool PortHubEnvironment::supportsOnDeviceRecognition(const std::string& languageIdentifier) {
    if (!ports_.speechRecognizer) return false;
    const auto recognizer = ports_.speechRecognizer->makeRecognizer(languageIdentifier);
    return recognizer && recognizer->supportsOnDeviceRecognition();
}

bool PortHubEnvironment::localWhisperReady(const std::string& languageIdentifier) const {
    return ports_.dictationEngine && ports_.dictationEngine->localWhisperStatus(languageIdentifier);
}

bool PortHubEnvironment::accessibilityTrusted() const {
    return ports_.accessibility && ports_.accessibility->isProcessTrusted();
}

bool PortHubEnvironment::startsAtLogin() const { return ports_.loginStartup && ports_.loginStartup->isEnabled(); }

bool PortHubEnvironment::setStartsAtLogin(bool enabled) {
    return ports_.loginStartup && ports_.loginStartup->setEnabled(enabled);
}

bool PortHubEnvironment::hasOpenAIAPIKey() const { return ports_.store->hasOpenAIAPIKey(); }

bool PortHubEnvironment::storeOpenAIAPIKey(const std::string& key) { return ports_.store->setOpenAIAPIKey(key); }

bool PortHubEnvironment::clearOpenAIAPIKey() { return ports_.store->setOpenAIAPIKey(std::nullopt); }

}  // namespace tavlo
