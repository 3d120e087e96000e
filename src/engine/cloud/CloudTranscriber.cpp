#include "engine/cloud/CloudTranscriber.h"

#include <optional>
#include <system_error>
#include <utility>

#include "base/SecretRedaction.h"
#include "engine/cloud/CloudReplies.h"
#include "engine/cloud/CloudRequests.h"
#include "engine/support/FileBytes.h"
#include "engine/support/TextTrimming.h"
#include "engine/cloud/UnusableCloudReply.h"
#include "engine/whisper/WhisperLanguage.h"

namespace tavlo {
namespace fs = std::filesystem;

namespace {

void removeIgnoringErrors(const fs::path& file) {
    std::error_code ignored;
    fs::remove(file, ignored);
}

DictationResult unavailable() {
    return DictationResult::failure(DictationEngineError::cloudTranscriptionUnavailable());
}

// The credential without surrounding white space and line breaks; absent
// when nothing is left.
std::optional<std::string> trimmedCredential(const std::optional<std::string>& credential) {
    if (!credential) return std::nullopt;
    std::string trimmed = trimWhitespaceAndLineBreaks(*credential);
    if (trimmed.empty()) return std::nullopt;
    return trimmed;
}

// A server's message can echo the request's Authorization header.
DictationResult withoutCredential(DictationResult result, const std::string& credential) {
    if (result.isSuccess()) return result;
    const auto* error = std::get_if<DictationEngineError>(&result.error());
    if (!error || error->errorCase() != DictationEngineError::Case::cloudTranscriptionFailed) return result;
    return DictationResult::failure(
        DictationEngineError::cloudTranscriptionFailed(redactSecrets(error->payload(), {credential})));
}

CloudTranscriptionHints hintsFor(const DelayedTranscriptionJob& job) {
    return {whisperLanguageCode(job.languageIdentifier), cloudPrompt(job.contextualStrings)};
}

}  // namespace

std::shared_ptr<CloudTranscriber> CloudTranscriber::create(CloudTranscriberSettings settings) {
    return std::shared_ptr<CloudTranscriber>(new CloudTranscriber(std::move(settings)));
}

void CloudTranscriber::transcribe(DelayedTranscriptionJob job, SessionCompletion completion) {
    transcribeWithOpenAICloud(job, completion);
}

void CloudTranscriber::transcribeWithOpenAICloud(const DelayedTranscriptionJob& job,
                                                 const SessionCompletion& session) {
    if (!job.audioFile) {
        session.finish(unavailable());
        return;
    }
    const fs::path& audioURL = *job.audioFile;
    if (job.openAICloudMode == OpenAICloudMode::service) {
        transcribeWithTavloCloud(audioURL, job, session);
        return;
    }
    // A missing key shows only now, after stop: recording never checks it.
    if (const auto apiKey = trimmedCredential(job.openAIAPIKey)) {
        transcribeDirectlyWithOpenAI(audioURL, *apiKey, job, session);
        return;
    }
    removeIgnoringErrors(audioURL);
    session.finish(DictationResult::failure(
        DictationEngineError::cloudTranscriptionFailed(std::string(kMissingOpenAIKeyMessage))));
}

void CloudTranscriber::transcribeDirectlyWithOpenAI(const fs::path& audioURL, const std::string& apiKey,
                                                    const DelayedTranscriptionJob& job,
                                                    const SessionCompletion& session) {
    HttpRequest request;
    try {
        request = openAITranscriptionRequest(settings_.endpoints.openAITranscriptionURL, apiKey, openAIFormBoundary(),
                                             audioURL, readFileBytes(audioURL), hintsFor(job));
    } catch (const PlatformError& error) {
        removeIgnoringErrors(audioURL);
        session.finish(DictationResult::failure(error));
        return;
    }
    send(std::move(request), apiKey, audioURL, &openAITranscriptionOutcome, session);
}

void CloudTranscriber::transcribeWithTavloCloud(const fs::path& audioURL, const DelayedTranscriptionJob& job,
                                                const SessionCompletion& session) {
    const auto accessToken = trimmedCredential(job.serviceAccessToken);
    if (!accessToken) {
        removeIgnoringErrors(audioURL);
        session.finish(unavailable());
        return;
    }
    HttpRequest request;
    try {
        request = tavloCloudTranscriptionRequest(settings_.endpoints.cloudTranscriptionURL, *accessToken,
                                                 readFileBytes(audioURL), hintsFor(job));
    } catch (const PlatformError& error) {
        removeIgnoringErrors(audioURL);
        session.finish(DictationResult::failure(error));
        return;
    }
    send(std::move(request), *accessToken, audioURL, &tavloCloudTranscriptionOutcome, session);
}

void CloudTranscriber::send(HttpRequest request, std::string credential, const fs::path& audioURL,
                            ReplyReader readReply, const SessionCompletion& session) {
    request.timeoutSeconds = settings_.timeoutSeconds;
    request.followRedirects = false;
    auto sent = std::make_shared<std::weak_ptr<HttpTask>>();
    auto task = settings_.httpClient->dataTask(
        std::move(request),
        [weak = weak_from_this(), queue = settings_.mainQueue, sent, credential = std::move(credential), audioURL,
         readReply, session](HttpResult result) {
            queue->post([weak, sent, credential, audioURL, readReply, session, result = std::move(result)] {
                auto self = weak.lock();
                if (!self || !session.engineExists()) return;
                // An abandoned session's recording is of no use to anyone, and
                // a voice recording should not linger in the temporary folder.
                if (!session.isCurrent()) {
                    removeIgnoringErrors(audioURL);
                    return;
                }
                if (self->cloudTranscriptionTask_ && self->cloudTranscriptionTask_ == sent->lock())
                    self->cloudTranscriptionTask_.reset();
                removeIgnoringErrors(audioURL);
                if (auto refusal = unusableCloudReply(result)) {
                    session.finish(DictationResult::failure(
                        DictationEngineError::cloudTranscriptionFailed(redactSecrets(*refusal, {credential}))));
                    return;
                }
                session.finish(withoutCredential(readReply(result), credential));
            });
        });
    *sent = task;
    cloudTranscriptionTask_ = std::move(task);
}

void CloudTranscriber::cancelSessionWork() {
    if (cloudTranscriptionTask_) cloudTranscriptionTask_->cancel();
    cloudTranscriptionTask_.reset();
}

void CloudTranscriber::shutdown() { cancelSessionWork(); }

}  // namespace tavlo
