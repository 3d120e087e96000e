#pragma once
// A scripted on-device recogniser. Every recognition task the program starts
// is kept as a SimRecognition, through which a test plays results and errors
// and sees the audio the task received. Permission requests wait until the
// test answers them.
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/SpeechRecognizerService.h"

namespace tavlo {

class SimRecognitionRequest final : public RecognitionRequest {
public:
    explicit SimRecognitionRequest(RecognitionRequestSettings settings) : settings_(std::move(settings)) {}
    void append(const AudioBuffer& buffer) override;
    void endAudio() override;

    const RecognitionRequestSettings& settings() const { return settings_; }
    std::size_t appendedBufferCount() const;
    bool audioEnded() const;

private:
    const RecognitionRequestSettings settings_;
    mutable std::mutex mutex_;
    std::size_t appendedBuffers_ = 0;
    bool audioEnded_ = false;
};

// One recognition task as the program started it.
class SimRecognition {
public:
    SimRecognition(std::string localeIdentifier, std::shared_ptr<SimRecognitionRequest> request,
                   RecognitionHandler handler)
        : localeIdentifier_(std::move(localeIdentifier)), request_(std::move(request)),
          handler_(std::move(handler)) {}

    // Calls the task's result handler, on the calling thread.
    void sendResult(const std::string& text, std::optional<double> firstSegmentTimestamp = 0.0,
                    bool isFinal = false);
    void sendFinal(const std::string& text, std::optional<double> firstSegmentTimestamp = 0.0) {
        sendResult(text, firstSegmentTimestamp, true);
    }
    void sendError(const PlatformError& error);
    void send(const std::optional<RecognitionResult>& result, const std::optional<PlatformError>& error);

    const std::string& localeIdentifier() const { return localeIdentifier_; }
    const SimRecognitionRequest& request() const { return *request_; }
    bool cancelled() const;
    void markCancelled();

private:
    std::string localeIdentifier_;
    std::shared_ptr<SimRecognitionRequest> request_;
    RecognitionHandler handler_;
    mutable std::mutex mutex_;
    bool cancelled_ = false;
};

class SimSpeechRecognizerService final : public SpeechRecognizerService {
public:
    struct LanguageSupport {
        bool available = true;
        bool onDevice = true;
    };

    SpeechAuthorizationStatus authorizationStatus() const override;
    void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> completion) override;
    std::unique_ptr<SpeechRecognizer> makeRecognizer(const std::string& localeIdentifier) override;

    void setAuthorizationStatus(SpeechAuthorizationStatus status);
    // Answers every waiting request with `status`, which becomes the current one.
    void answerAuthorization(SpeechAuthorizationStatus status);
    std::size_t pendingAuthorizationCount() const;
    std::size_t authorizationRequestCount() const;

    // Every language is supported, available and on the device unless told
    // otherwise here; absent support means no recogniser can be made.
    void setLanguageSupport(const std::string& localeIdentifier, std::optional<LanguageSupport> support);

    // Every recognition task started so far, oldest first.
    std::vector<std::shared_ptr<SimRecognition>> recognitions() const;
    std::shared_ptr<SimRecognition> latestRecognition() const;
    std::size_t recognizersMade() const;

private:
    friend class SimSpeechRecognizer;
    void addRecognition(std::shared_ptr<SimRecognition> recognition);

    mutable std::mutex mutex_;
    SpeechAuthorizationStatus status_ = SpeechAuthorizationStatus::authorized;
    std::vector<std::function<void(SpeechAuthorizationStatus)>> pending_;
    std::size_t authorizationRequests_ = 0;
    std::map<std::string, std::optional<LanguageSupport>> support_;
    std::vector<std::shared_ptr<SimRecognition>> recognitions_;
    std::size_t recognizersMade_ = 0;
};

}  // namespace tavlo
