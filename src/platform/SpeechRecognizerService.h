#pragma once
// The on-device speech recogniser: permission, a recogniser per language, and
// recognition tasks fed with microphone buffers that report a growing
// transcript.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/AudioBuffer.h"
#include "platform/PlatformError.h"

namespace tavlo {

enum class SpeechAuthorizationStatus { notDetermined, denied, restricted, authorized };

enum class RecognitionTaskHint { unspecified, dictation, search, confirmation };

struct RecognitionRequestSettings {
    bool shouldReportPartialResults = true;
    bool requiresOnDeviceRecognition = true;
    RecognitionTaskHint taskHint = RecognitionTaskHint::dictation;
    bool addsPunctuation = true;
    std::vector<std::string> contextualStrings;  // vocabulary hints

    bool operator==(const RecognitionRequestSettings&) const = default;
};

// One hypothesis of the recogniser.
struct RecognitionResult {
    std::string formattedText;
    // Start of the first word, in seconds from the start of the audio; absent
    // when the hypothesis has no segments.
    std::optional<double> firstSegmentTimestamp;
    bool isFinal = false;
};

// Audio for one recognition task. `append` is called on the capture thread,
// `endAudio` on the main thread; both may race and must be safe together.
// Appending after endAudio has no effect.
class RecognitionRequest {
public:
    virtual ~RecognitionRequest() = default;
    virtual void append(const AudioBuffer& buffer) = 0;
    virtual void endAudio() = 0;
};

class RecognitionTask {
public:
    virtual ~RecognitionTask() = default;
    // Stops recognising; the handler may still be called once more (usually
    // with an error).
    virtual void cancel() = 0;
};

// Each call carries a result, an error, or both. It may come from any thread.
using RecognitionHandler = std::function<void(const std::optional<RecognitionResult>& result,
                                              const std::optional<PlatformError>& error)>;

class SpeechRecognizer {
public:
    virtual ~SpeechRecognizer() = default;
    virtual bool isAvailable() const = 0;
    virtual bool supportsOnDeviceRecognition() const = 0;
    virtual std::shared_ptr<RecognitionRequest> makeRequest(
        const RecognitionRequestSettings& settings) = 0;
    // The task keeps running (and keeps what it needs alive) after the
    // recogniser object is released.
    virtual std::unique_ptr<RecognitionTask> startTask(std::shared_ptr<RecognitionRequest> request,
                                                       RecognitionHandler handler) = 0;
};

class SpeechRecognizerService {
public:
    virtual ~SpeechRecognizerService() = default;
    virtual SpeechAuthorizationStatus authorizationStatus() const = 0;
    // Asks the user when the status is not yet determined; `completion` may
    // run on any thread.
    virtual void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> completion) = 0;
    // A recogniser for a locale identifier such as "en_US"; null when the
    // language is not supported at all.
    virtual std::unique_ptr<SpeechRecognizer> makeRecognizer(const std::string& localeIdentifier) = 0;
};

}  // namespace tavlo
