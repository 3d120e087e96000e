#include "platform/sim/SimSpeechRecognizerService.h"

#include <utility>

namespace tavlo {

void SimRecognitionRequest::append(const AudioBuffer&) {
    std::lock_guard lock(mutex_);
    if (!audioEnded_) ++appendedBuffers_;
}

void SimRecognitionRequest::endAudio() {
    std::lock_guard lock(mutex_);
    audioEnded_ = true;
}

std::size_t SimRecognitionRequest::appendedBufferCount() const {
    std::lock_guard lock(mutex_);
    return appendedBuffers_;
}

bool SimRecognitionRequest::audioEnded() const {
    std::lock_guard lock(mutex_);
    return audioEnded_;
}

void SimRecognition::sendResult(const std::string& text, std::optional<double> firstSegmentTimestamp,
                                bool isFinal) {
    send(RecognitionResult{text, firstSegmentTimestamp, isFinal}, std::nullopt);
}

void SimRecognition::sendError(const PlatformError& error) { send(std::nullopt, error); }

void SimRecognition::send(const std::optional<RecognitionResult>& result,
                          const std::optional<PlatformError>& error) {
    handler_(result, error);
}

bool SimRecognition::cancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

void SimRecognition::markCancelled() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
}

namespace {

class SimRecognitionTask final : public RecognitionTask {
public:
    explicit SimRecognitionTask(std::shared_ptr<SimRecognition> recognition)
        : recognition_(std::move(recognition)) {}
    void cancel() override { recognition_->markCancelled(); }

private:
    std::shared_ptr<SimRecognition> recognition_;
};

}  // namespace

class SimSpeechRecognizer final : public SpeechRecognizer {
public:
    SimSpeechRecognizer(SimSpeechRecognizerService& service, std::string localeIdentifier,
                        SimSpeechRecognizerService::LanguageSupport support)
        : service_(service), localeIdentifier_(std::move(localeIdentifier)), support_(support) {}

    bool isAvailable() const override { return support_.available; }
    bool supportsOnDeviceRecognition() const override { return support_.onDevice; }

    std::shared_ptr<RecognitionRequest> makeRequest(const RecognitionRequestSettings& settings) override {
        return std::make_shared<SimRecognitionRequest>(settings);
    }

    std::unique_ptr<RecognitionTask> startTask(std::shared_ptr<RecognitionRequest> request,
                                               RecognitionHandler handler) override {
        auto simRequest = std::dynamic_pointer_cast<SimRecognitionRequest>(request);
        auto recognition =
            std::make_shared<SimRecognition>(localeIdentifier_, std::move(simRequest), std::move(handler));
        service_.addRecognition(recognition);
        return std::make_unique<SimRecognitionTask>(std::move(recognition));
    }

private:
    SimSpeechRecognizerService& service_;
    std::string localeIdentifier_;
    SimSpeechRecognizerService::LanguageSupport support_;
};

SpeechAuthorizationStatus SimSpeechRecognizerService::authorizationStatus() const {
    std::lock_guard lock(mutex_);
    return status_;
}

void SimSpeechRecognizerService::requestAuthorization(
    std::function<void(SpeechAuthorizationStatus)> completion) {
    std::lock_guard lock(mutex_);
    ++authorizationRequests_;
    pending_.push_back(std::move(completion));
}

void SimSpeechRecognizerService::setAuthorizationStatus(SpeechAuthorizationStatus status) {
    std::lock_guard lock(mutex_);
    status_ = status;
}

void SimSpeechRecognizerService::answerAuthorization(SpeechAuthorizationStatus status) {
    std::vector<std::function<void(SpeechAuthorizationStatus)>> waiting;
    {
        std::lock_guard lock(mutex_);
        status_ = status;
        waiting.swap(pending_);
    }
    for (auto& completion : waiting) completion(status);
}

std::size_t SimSpeechRecognizerService::pendingAuthorizationCount() const {
    std::lock_guard lock(mutex_);
    return pending_.size();
}

std::size_t SimSpeechRecognizerService::authorizationRequestCount() const {
    std::lock_guard lock(mutex_);
    return authorizationRequests_;
}

void SimSpeechRecognizerService::setLanguageSupport(const std::string& localeIdentifier,
                                                    std::optional<LanguageSupport> support) {
    std::lock_guard lock(mutex_);
    support_[localeIdentifier] = support;
}

std::unique_ptr<SpeechRecognizer> SimSpeechRecognizerService::makeRecognizer(
    const std::string& localeIdentifier) {
    std::lock_guard lock(mutex_);
    ++recognizersMade_;
    LanguageSupport support;
    if (auto found = support_.find(localeIdentifier); found != support_.end()) {
        if (!found->second) return nullptr;
        support = *found->second;
    }
    return std::make_unique<SimSpeechRecognizer>(*this, localeIdentifier, support);
}

std::vector<std::shared_ptr<SimRecognition>> SimSpeechRecognizerService::recognitions() const {
    std::lock_guard lock(mutex_);
    return recognitions_;
}

std::shared_ptr<SimRecognition> SimSpeechRecognizerService::latestRecognition() const {
    std::lock_guard lock(mutex_);
    return recognitions_.empty() ? nullptr : recognitions_.back();
}

std::size_t SimSpeechRecognizerService::recognizersMade() const {
    std::lock_guard lock(mutex_);
    return recognizersMade_;
}

void SimSpeechRecognizerService::addRecognition(std::shared_ptr<SimRecognition> recognition) {
    std::lock_guard lock(mutex_);
    recognitions_.push_back(std::move(recognition));
}

}  // namespace tavlo
