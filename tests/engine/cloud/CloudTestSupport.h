#pragma once
// The cloud back end for real: the engine records (the test writes the
// recording file), the real HTTP client uploads it, and a server on the
// loopback interface plays OpenAI and the hosted service.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/cloud/CloudTranscriber.h"
#include "engine/DictationEngine.h"
#include "engine/EngineTestSupport.h"
#include "harness/PumpedMainQueue.h"
#include "harness/ScriptedHttpServer.h"
#include "harness/TemporaryDirectory.h"
#include "platform/linux/http/CurlHttpClient.h"
#include "platform/sim/SimAudioCapture.h"
#include "platform/sim/SimAudioFileWriter.h"
#include "platform/sim/SimSpeechRecognizerService.h"
#include "platform/sim/SimTemporaryFiles.h"

namespace tavlo::testing {

// Passes the engine's jobs on to the cloud back end, after the test has had
// its say (a recording under another name, or none at all).
class RelayTranscriber final : public DelayedTranscriber {
public:
    bool hasLocalWhisper(const std::string& languageIdentifier) override {
        return cloud->hasLocalWhisper(languageIdentifier);
    }
    void transcribe(DelayedTranscriptionJob job, SessionCompletion completion) override {
        if (adjustJob) adjustJob(job);
        handedOver = job.audioFile;
        cloud->transcribe(std::move(job), std::move(completion));
    }
    void cancelSessionWork() override { cloud->cancelSessionWork(); }
    void prepareLocalWhisper(const std::string& languageIdentifier) override {
        cloud->prepareLocalWhisper(languageIdentifier);
    }
    void shutdown() override { cloud->shutdown(); }

    std::shared_ptr<CloudTranscriber> cloud;
    std::function<void(DelayedTranscriptionJob&)> adjustJob;
    std::optional<std::filesystem::path> handedOver;  // the recording of the last job
};

// The real client, watched: it keeps the requests as they were handed to it
// (the exact bytes of a body), and counts on the main queue the replies that
// have been handed over, so a test can wait for a reply that is meant to
// change nothing. A reply's own main queue task was posted before the
// count's, so it has run by then.
class ObservedHttpClient final : public HttpClient {
public:
    ObservedHttpClient(std::shared_ptr<HttpClient> inner, std::shared_ptr<MainQueue> queue)
        : inner_(std::move(inner)), queue_(std::move(queue)) {}

    // Called on the main thread, like everything that reads what it records.
    std::shared_ptr<HttpTask> dataTask(HttpRequest request, Completion completion) override {
        sent.push_back(request);
        return inner_->dataTask(std::move(request),
                                [completion = std::move(completion), queue = queue_, count = count_](HttpResult result) {
                                    completion(std::move(result));
                                    queue->post([count] { ++*count; });
                                });
    }
    int repliesHandled() const { return *count_; }

    std::vector<HttpRequest> sent;

private:
    std::shared_ptr<HttpClient> inner_;
    std::shared_ptr<MainQueue> queue_;
    std::shared_ptr<int> count_ = std::make_shared<int>(0);
};

// Bytes of every kind a recording may hold: NUL, CR LF, "--", high bytes.
inline const std::string kRecordingBytes{"RIFF\x24\x00\x00\x00WAVEfmt \r\n--\xff\xfe\x80\x00 data\x7f", 30};
inline const std::string kRecordingBase64 = "UklGRiQAAABXQVZFZm10IA0KLS3//oAAIGRhdGF/";

class CloudTest : public ::testing::Test {
public:
    CloudTest() {
        useCloud(CloudEndpoints::withBaseURLs(server.baseURL(), server.baseURL()));
        makeEngine();
    }

    void useCloud(CloudEndpoints endpoints, double timeoutSeconds = kCloudTranscriptionTimeoutSeconds) {
        cloud = CloudTranscriber::create({queue, http, std::move(endpoints), timeoutSeconds});
        relay->cloud = cloud;
    }

    void makeEngine() {
        engine = DictationEngine::create({queue, std::make_shared<SimSpeechRecognizerService>(),
                                          std::make_shared<SimAudioCapture>(), audioFiles, temporary, relay, "en_US"});
        engine->onComplete = [this](const DictationResult& result) { completions.push_back(result); };
    }

    static DictationStartOptions ownKey(std::optional<std::string> key = "sk-test") {
        DictationStartOptions options;
        options.model = SpeechModel::openAICloud;
        options.openAICloudMode = OpenAICloudMode::apiKey;
        options.openAIAPIKey = std::move(key);
        return options;
    }
    static DictationStartOptions hosted(std::optional<std::string> token = "token-123") {
        DictationStartOptions options;
        options.model = SpeechModel::openAICloud;
        options.openAICloudMode = OpenAICloudMode::service;
        options.serviceAccessToken = std::move(token);
        return options;
    }

    // Records a dictation whose recording holds `bytes` (or no file at all)
    // and stops it; returns the recording the back end received.
    std::filesystem::path record(const DictationStartOptions& options,
                                 const std::optional<std::string>& bytes = kRecordingBytes) {
        engine->start(options);
        const std::filesystem::path recording = audioFiles->latestFile()->path();
        if (bytes) {
            std::filesystem::create_directories(recording.parent_path());
            std::ofstream(recording, std::ios::binary) << *bytes;
        }
        relay->handedOver.reset();
        engine->stopAndCommit();
        return relay->handedOver.value_or(recording);
    }

    // One dictation to its outcome.
    DictationResult dictate(const DictationStartOptions& options,
                            const std::optional<std::string>& bytes = kRecordingBytes) {
        const std::size_t before = completions.size();
        recording = record(options, bytes);
        if (!queue->runUntil([&] { return completions.size() > before; })) {
            ADD_FAILURE() << "no outcome";
            return DictationResult::success("<no outcome>");
        }
        return completions.back();
    }

    // First, so that it outlives the client's connections.
    ScriptedHttpServer server;
    TemporaryDirectory scratch;
    std::shared_ptr<PumpedMainQueue> queue = std::make_shared<PumpedMainQueue>();
    std::shared_ptr<ObservedHttpClient> http =
        std::make_shared<ObservedHttpClient>(std::make_shared<CurlHttpClient>(), queue);
    std::shared_ptr<SimTemporaryFiles> temporary = std::make_shared<SimTemporaryFiles>(scratch.path());
    std::shared_ptr<SimAudioFileWriter> audioFiles = std::make_shared<SimAudioFileWriter>();
    std::shared_ptr<RelayTranscriber> relay = std::make_shared<RelayTranscriber>();
    std::shared_ptr<CloudTranscriber> cloud;
    std::shared_ptr<DictationEngine> engine;

    std::vector<DictationResult> completions;
    std::filesystem::path recording;  // of the last dictate()
};

inline DictationResult cloudFailure(std::string message) {
    return DictationResult::failure(DictationEngineError::cloudTranscriptionFailed(std::move(message)));
}

}  // namespace tavlo::testing
