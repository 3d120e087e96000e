#include "engine/WarmWhisperServer.h"

#include <fstream>
#include <system_error>

#include "engine/FileBytes.h"
#include "engine/RandomUuid.h"
#include "engine/WhisperCommands.h"
#include "engine/WhisperInference.h"

namespace tavlo {
namespace fs = std::filesystem;

namespace {

EngineError failed(std::string message) { return DictationEngineError::localWhisperFailed(std::move(message)); }

}  // namespace

std::shared_ptr<WarmWhisperServer> WarmWhisperServer::create(WarmWhisperServerSettings settings) {
    return std::shared_ptr<WarmWhisperServer>(new WarmWhisperServer(std::move(settings)));
}

void WarmWhisperServer::probe(const std::string& serverURL, std::function<void(bool)> answer) {
    struct Probe {
        bool decided = false;
        std::shared_ptr<WorkItem> limit;
    };
    auto state = std::make_shared<Probe>();

    HttpRequest request;
    request.url = serverURL;
    request.timeoutSeconds = std::chrono::duration<double>(kProbeTimeout).count();
    // Any answer of the server counts as up, a 404 included.
    const auto task = settings_.httpClient->dataTask(
        request, [queue = settings_.mainQueue, state, answer](HttpResult result) {
            const bool up = result.response && result.response->statusCode >= 200 && result.response->statusCode <= 499;
            queue->post([state, answer, up] {
                if (state->decided) return;
                state->decided = true;
                if (state->limit) state->limit->cancel();
                answer(up);
            });
        });
    // The client keeps its own requests alive; holding this one weakly keeps
    // the queue, the request and its completion from holding each other.
    state->limit = settings_.mainQueue->postAfter(kProbeWaitLimit, [state, weakTask = std::weak_ptr(task), answer] {
        if (state->decided) return;
        state->decided = true;
        if (auto request = weakTask.lock()) request->cancel();
        answer(false);
    });
}

void WarmWhisperServer::ensure(const std::string& serverURL, const fs::path& model, const std::string& languageCode,
                               Completion completion) {
    if (adoptionProbeOut_) {
        waitingForAdoption_.push_back([weak = weak_from_this(), serverURL, model, languageCode, completion] {
            if (auto self = weak.lock()) self->ensure(serverURL, model, languageCode, completion);
        });
        return;
    }

    if (!process_) {
        // Whatever already answers at the address is taken as it is; with no
        // process of ours recorded, the next request probes again.
        adoptionProbeOut_ = true;
        probe(serverURL, [weak = weak_from_this(), serverURL, model, languageCode, completion](bool answered) {
            auto self = weak.lock();
            if (!self) return;
            self->adoptionProbeOut_ = false;
            if (answered) {
                self->model_ = model;
                self->languageCode_ = languageCode;
                completion(std::nullopt);
            } else {
                self->start(serverURL, model, languageCode, completion);
            }
            auto waiting = std::move(self->waitingForAdoption_);
            self->waitingForAdoption_.clear();
            for (auto& retry : waiting) retry();
        });
        return;
    }

    if (process_->isRunning() && model_ == model && languageCode_ == languageCode) {
        const auto process = process_;
        waitForReadiness(process, serverURL,
                         [weak = weak_from_this(), process, serverURL, model, languageCode, completion,
                          stops = stops_](bool ready) {
                             auto self = weak.lock();
                             if (!self) return;
                             if (ready) {
                                 completion(std::nullopt);
                             } else if (process->isRunning()) {
                                 completion(failed("Local Whisper server did not become ready."));
                             } else if (self->stops_ != stops) {
                                 // Stopped on purpose (the program is ending): no new server.
                                 completion(failed("Local Whisper server exited before it was ready."));
                             } else {
                                 self->start(serverURL, model, languageCode, completion);
                             }
                         });
        return;
    }

    start(serverURL, model, languageCode, completion);
}

std::optional<fs::path> WarmWhisperServer::createLogFile() const {
    const fs::path folder = settings_.temporaryDirectory / "SorvelWhisper";
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    const fs::path log = folder / "whisper-server.log";
    // A fresh log for every server; without one the server still runs.
    if (!std::ofstream(log, std::ios::binary | std::ios::trunc)) return std::nullopt;
    return log;
}

void WarmWhisperServer::start(const std::string& serverURL, const fs::path& model, const std::string& languageCode,
                              Completion completion) {
    if (process_) process_->terminate();
    process_.reset();
    model_.reset();
    languageCode_.reset();
    logFile_.reset();

    const WhisperSearchLocations locations = settings_.searchLocations();
    const auto executable = firstExecutable(locations.whisperServerCandidates);
    if (!executable) {
        completion(DictationEngineError::localWhisperUnavailable());
        return;
    }

    const auto log = createLogFile();
    ProcessSpec launchSpec;
    launchSpec.executable = executable->string();
    launchSpec.arguments = whisperServerArguments(model, settings_.port, whisperThreadCount(settings_.processorCount),
                                            languageCode);
    launchSpec.environmentOverrides = whisperChildEnvironment(locations.homeDirectory);
    launchSpec.standardOutput = log ? ProcessOutput::toFile(log->string()) : ProcessOutput::discarded();
    launchSpec.standardError = launchSpec.standardOutput;

    // Nobody waits for the server's end: it is noticed at the next use.
    ProcessLaunch launch = settings_.processLauncher->launch(launchSpec, nullptr);
    if (!launch) {
        completion(PlatformError("process", launch.errorCode, launch.error));
        return;
    }
    process_ = launch.process;
    model_ = model;
    languageCode_ = languageCode;
    logFile_ = log;

    const auto process = process_;
    waitForReadiness(process, serverURL, [process, completion](bool ready) {
        if (ready) {
            completion(std::nullopt);
        } else if (process->isRunning()) {
            completion(failed("Local Whisper server did not become ready."));
        } else {
            completion(failed("Local Whisper server exited before it was ready."));
        }
    });
}

void WarmWhisperServer::waitForReadiness(const std::shared_ptr<ChildProcess>& process, const std::string& serverURL,
                                         std::function<void(bool ready)> done) {
    readinessAttempt(process, serverURL, 1, std::move(done));
}

// One attempt: give up when the process is gone, succeed when the probe
// answers, otherwise try again a little later, at most kReadinessAttempts
// times. Each wait watches its own process, so a wait whose server was
// replaced meanwhile reports that one's end.
void WarmWhisperServer::readinessAttempt(std::shared_ptr<ChildProcess> process, std::string serverURL, int attempt,
                                         std::function<void(bool ready)> done) {
    if (!process->isRunning()) {
        done(false);
        return;
    }
    probe(serverURL, [weak = weak_from_this(), process, serverURL, attempt, done](bool answered) {
        auto self = weak.lock();
        if (!self) return;
        if (answered) {
            done(true);
            return;
        }
        self->settings_.mainQueue->postAfter(kReadinessInterval, [weak, process, serverURL, attempt, done] {
            auto self = weak.lock();
            if (!self) return;
            if (attempt >= kReadinessAttempts) {
                done(false);
            } else {
                self->readinessAttempt(process, serverURL, attempt + 1, done);
            }
        });
    });
}

std::shared_ptr<HttpTask> WarmWhisperServer::postWav(const std::string& serverURL, const fs::path& wav,
                                                     UploadCompletion completion) {
    std::string bytes;
    try {
        bytes = readFileBytes(wav);
    } catch (const PlatformError& error) {
        completion(error);
        return nullptr;
    }

    const HttpRequest request = whisperInferenceRequest(serverURL, "SorvelBoundary-" + makeRandomUuid(), bytes);
    return settings_.httpClient->dataTask(request, [queue = settings_.mainQueue, completion](HttpResult result) {
        // Read on the client's thread; only the outcome goes to the main thread.
        auto reply = readWhisperInferenceReply(result);
        queue->post([completion, reply = std::move(reply)] {
            if (const auto* transcript = std::get_if<WhisperTranscript>(&reply)) {
                completion(transcript->text);
            } else {
                completion(failed(std::get<WhisperInferenceFailure>(reply).message));
            }
        });
    });
}

void WarmWhisperServer::stop() {
    ++stops_;
    if (process_) process_->terminate();
    process_.reset();
    model_.reset();
    languageCode_.reset();
    logFile_.reset();
}

}  // namespace tavlo
