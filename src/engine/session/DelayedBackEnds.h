#pragma once
// The engine's delayed back ends together: local Whisper and, once it is
// connected, the cloud. Each job goes to the back end of its speech model;
// cancelling and shutting down reach both.
#include <memory>

#include "engine/session/DelayedTranscriber.h"
#include "engine/whisper/LocalWhisperTranscriber.h"

namespace tavlo {

class DelayedBackEnds final : public DelayedTranscriber {
public:
    // Without a cloud back end, cloud jobs fail as unavailable (and their
    // recording is deleted).
    explicit DelayedBackEnds(std::shared_ptr<LocalWhisperTranscriber> localWhisper,
                             std::shared_ptr<DelayedTranscriber> cloud = nullptr)
        : localWhisper_(std::move(localWhisper)), cloud_(std::move(cloud)) {}

    bool hasLocalWhisper(const std::string& languageIdentifier) override;
    std::optional<DictationEngineError> localWhisperUnavailability(const std::string& languageIdentifier) override;
    void transcribe(DelayedTranscriptionJob job, SessionCompletion completion) override;
    void cancelSessionWork() override;
    void prepareLocalWhisper(const std::string& languageIdentifier) override;
    void shutdown() override;

private:
    std::shared_ptr<LocalWhisperTranscriber> localWhisper_;
    std::shared_ptr<DelayedTranscriber> cloud_;
};

}  // namespace tavlo
