#pragma once
// The cloud after stop: the recording is uploaded either straight to OpenAI
// with the user's own key or, Base64-encoded in JSON, to the hosted
// transcription service with its access token. The text that comes back is
// cleaned like local Whisper output. The recording is deleted when a current
// session completes; a reply for an abandoned session leaves it alone.
//
// All members run on the main thread. HTTP completions arrive on the client's
// thread and only hand the reply to the main queue; they hold this object
// weakly and carry the session they belong to.
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "engine/cloud/CloudEndpoints.h"
#include "engine/session/DelayedTranscriber.h"
#include "platform/HttpClient.h"
#include "platform/MainQueue.h"

namespace tavlo {

// The fixed limit for one upload, connection included.
inline constexpr double kCloudTranscriptionTimeoutSeconds = 180.0;

// Shown when own-key mode is chosen but no key is saved.
inline constexpr std::string_view kMissingOpenAIKeyMessage =
    "Save your OpenAI API key before using Own OpenAI key mode.";

struct CloudTranscriberSettings {
    std::shared_ptr<MainQueue> mainQueue;
    std::shared_ptr<HttpClient> httpClient;
    CloudEndpoints endpoints = CloudEndpoints::standard();
    double timeoutSeconds = kCloudTranscriptionTimeoutSeconds;
};

class CloudTranscriber final : public DelayedTranscriber, public std::enable_shared_from_this<CloudTranscriber> {
public:
    static std::shared_ptr<CloudTranscriber> create(CloudTranscriberSettings settings);

    // The cloud is not a local installation.
    bool hasLocalWhisper(const std::string&) override { return false; }
    // Uploads the job's recording by its cloud mode; the outcome goes to
    // `completion.finish` (within this call for a missing recording, key or
    // token, or an unreadable recording).
    void transcribe(DelayedTranscriptionJob job, SessionCompletion completion) override;
    // Cancels and forgets the upload in flight.
    void cancelSessionWork() override;
    void prepareLocalWhisper(const std::string&) override {}
    void shutdown() override;

    // The upload in flight, if any.
    const std::shared_ptr<HttpTask>& cloudTranscriptionTask() const { return cloudTranscriptionTask_; }

private:
    explicit CloudTranscriber(CloudTranscriberSettings settings) : settings_(std::move(settings)) {}

    using ReplyReader = DictationResult (*)(const HttpResult&);

    void transcribeWithOpenAICloud(const DelayedTranscriptionJob& job, const SessionCompletion& session);
    void transcribeDirectlyWithOpenAI(const std::filesystem::path& audioURL, const std::string& apiKey,
                                      const DelayedTranscriptionJob& job, const SessionCompletion& session);
    void transcribeWithTavloCloud(const std::filesystem::path& audioURL, const DelayedTranscriptionJob& job,
                                  const SessionCompletion& session);
    // `credential` is what the request authenticates with: a server's
    // message that echoes it is shown and logged without it.
    void send(HttpRequest request, std::string credential, const std::filesystem::path& audioURL,
              ReplyReader readReply, const SessionCompletion& session);

    CloudTranscriberSettings settings_;
    std::shared_ptr<HttpTask> cloudTranscriptionTask_;
};

}  // namespace tavlo
