#include "hub/model/PortHubEnvironment.h"

#include <system_error>
#include <utility>

namespace tavlo {

PortHubEnvironment::PortHubEnvironment(HubEnvironmentPorts ports) : ports_(std::move(ports)) {}

PortHubEnvironment::~PortHubEnvironment() {
    if (download_) download_->cancel();
}

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

LocalWhisperSetup PortHubEnvironment::localWhisperSetup(const std::string& languageIdentifier,
                                                         const std::optional<std::string>& chosenModel) const {
    namespace fs = std::filesystem;
    auto locations = ports_.whisperLocations();
    if (chosenModel && isWhisperModelName(*chosenModel)) locations.chosenModelFile = whisperModelFileName(*chosenModel);
    LocalWhisperSetup setup;
    setup.toolsFound = firstExecutable(locations.ffmpegCandidates) &&
                       (firstExecutable(locations.whisperServerCandidates) ||
                        firstExecutable(locations.whisperCliCandidates));
    if (const auto model = whisperCppModel(locations, languageIdentifier)) {
        std::string name = model->filename().string();
        if (name.starts_with("ggml-") && name.ends_with(".bin")) name = name.substr(5, name.size() - 9);
        setup.modelInUse = name;
    }
    const auto folders = locations.modelFolders();
    for (const auto& model : ports_.whisperModels) {
        for (const auto& folder : folders) {
            std::error_code error;
            if (fs::exists(folder / model.fileName(), error)) {
                setup.installedModels.push_back(model.name);
                break;
            }
        }
    }
    return setup;
}

bool PortHubEnvironment::startWhisperModelDownload(const WhisperModel& model,
                                                   std::function<void(const WhisperModelDownloadProgress&)> progress,
                                                   std::function<void(const WhisperModelDownloadOutcome&)> finished) {
    if (download_ || !ports_.mainQueue || !ports_.fileDownloader) return false;
    const auto home = ports_.whisperLocations().homeDirectory;
    if (home.empty()) return false;
    download_ = WhisperModelDownload::start(
        {ports_.mainQueue, ports_.fileDownloader, ports_.diskSpace}, model, whisperModelDownloadFolder(home),
        ports_.store->whisperModelBaseURL(), std::move(progress),
        [weak = std::weak_ptr<PortHubEnvironment*>(self_), finished = std::move(finished)](
            const WhisperModelDownloadOutcome& outcome) {
            const auto self = weak.lock();
            if (!self) return;
            (*self)->download_.reset();
            if (finished) finished(outcome);
        });
    return true;
}

void PortHubEnvironment::cancelWhisperModelDownload() {
    if (download_) download_->cancel();
}

}  // namespace tavlo
