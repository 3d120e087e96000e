#include "engine/session/DelayedBackEnds.h"

#include <system_error>

namespace tavlo {

bool DelayedBackEnds::hasLocalWhisper(const std::string& languageIdentifier) {
    return localWhisper_->hasLocalWhisper(languageIdentifier);
}

std::optional<DictationEngineError> DelayedBackEnds::localWhisperUnavailability(
    const std::string& languageIdentifier) {
    return localWhisper_->localWhisperUnavailability(languageIdentifier);
}

void DelayedBackEnds::transcribe(DelayedTranscriptionJob job, SessionCompletion completion) {
    if (job.model == SpeechModel::localWhisper) {
        localWhisper_->transcribe(std::move(job.audioFile), std::move(job.languageIdentifier), std::move(completion),
                                  job.audioIsWhisperWav);
    } else if (cloud_) {
        cloud_->transcribe(std::move(job), std::move(completion));
    } else {
        if (job.audioFile) {
            std::error_code ignored;
            std::filesystem::remove(*job.audioFile, ignored);
        }
        completion.finish(DictationResult::failure(DictationEngineError::cloudTranscriptionUnavailable()));
    }
}

void DelayedBackEnds::cancelSessionWork() {
    localWhisper_->cancelSessionWork();
    if (cloud_) cloud_->cancelSessionWork();
}

void DelayedBackEnds::prepareLocalWhisper(const std::string& languageIdentifier) {
    localWhisper_->prepareLocalWhisper(languageIdentifier);
}

void DelayedBackEnds::shutdown() {
    localWhisper_->shutdown();
    if (cloud_) cloud_->shutdown();
}

}  // namespace tavlo
