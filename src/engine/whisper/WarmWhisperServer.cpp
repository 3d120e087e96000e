#include "engine/whisper/WarmWhisperServer.h"

#include <system_error>

#include "engine/support/FileBytes.h"
#include "engine/support/RandomUuid.h"
#include "engine/whisper/WhisperCommands.h"
#include "engine/whisper/WhisperInference.h"

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
    // No idle connection is kept open to the server: it would hold up the
    // server's graceful shutdown past the time it is given.
    request.headers = {{"Connection", "close"}};
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
            const int port = self->settings_.port;
            if (answered && self->settings_.listenerIsOurs && !self->settings_.listenerIsOurs(port)) {
                completion(failed("Another user's program is listening on the local Whisper server's port " +
                                  std::to_string(port) + "; your recordings are not sent to it."));
            } else if (answered) {
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

std::optional<fs::path> WarmWhisperServer::logFolderReady() const {
    const fs::path folder = settings_.temporaryDirectory / "SorvelWhisper";
    try {
        if (settings_.temporaryFiles) {
            settings_.temporaryFiles->createDirectories(folder);
        } else {
            fs::create_directories(folder);
        }
    } catch (const std::exception&) {
        return std::nullopt;  // the server still runs, without a log
    }
    return folder / "whisper-server.log";
}

void WarmWhisperServer::start(const std::string& serverURL, const fs::path& model, const std::string& languageCode,
                              Completion completion) {
    const auto previous = process_;
    if (previous) previous->terminate();
    process_.reset();
    model_.reset();
    languageCode_.reset();
    logFile_.reset();
    if (!previous || !previous->isRunning()) {
        launch(serverURL, model, languageCode, std::move(completion));
        return;
    }
    // The old server holds the port until it has ended (at most the grace
    // before it is killed): a new one started next to it would share the
    // port, and requests could reach the one that is shutting down.
    auto waitForEnd = std::make_shared<std::function<void()>>();
    *waitForEnd = [weak = weak_from_this(), previous, serverURL, model, languageCode, completion,
                   weakWait = std::weak_ptr(waitForEnd)] {
        auto self = weak.lock();
        if (!self) return;
        if (previous->isRunning()) {
            // Only the queued task holds the chain, so it ends with the queue.
            if (auto again = weakWait.lock())
                self->settings_.mainQueue->postAfter(std::chrono::milliseconds(20), [again] { (*again)(); });
            return;
        }
        self->launch(serverURL, model, languageCode, completion);
    };
    settings_.mainQueue->postAfter(std::chrono::milliseconds(20), [waitForEnd] { (*waitForEnd)(); });
}

void WarmWhisperServer::launch(const std::string& serverURL, const fs::path& model, const std::string& languageCode,
                               Completion completion) {
    const WhisperSearchLocations locations = settings_.searchLocations();
    const auto executable = firstExecutable(locations.whisperServerCandidates);
    if (!executable) {
        completion(DictationEngineError::localWhisperUnavailable());
        return;
    }

    auto log = logFolderReady();
    ProcessSpec launchSpec;
    launchSpec.executable = executable->string();
    launchSpec.arguments = whisperServerArguments(model, settings_.port, whisperThreadCount(settings_.processorCount),
                                            languageCode);
    launchSpec.environmentOverrides = whisperChildEnvironment(locations.homeDirectory);
    launchSpec.standardOutput = log ? ProcessOutput::toFile(log->string()) : ProcessOutput::discarded();
    launchSpec.standardError = launchSpec.standardOutput;
    // A server left behind would keep the port, its model and its language.
    launchSpec.endsWithProgram = true;

    // Nobody waits for the server's end: it is noticed at the next use.
    ProcessLaunch launch = settings_.processLauncher->launch(launchSpec, nullptr);
    if (!launch && log) {
        // The log could not be made; the server runs without one.
        launchSpec.standardOutput = launchSpec.standardError = ProcessOutput::discarded();
        launch = settings_.processLauncher->launch(launchSpec, nullptr);
        log.reset();
    }
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
        completion({error, false});
        return nullptr;
    }

    const HttpRequest request = whisperInferenceRequest(serverURL, "SorvelBoundary-" + makeRandomUuid(), bytes);
    return settings_.httpClient->dataTask(request, [queue = settings_.mainQueue, completion](HttpResult result) {
        // Read on the client's thread; only the outcome goes to the main thread.
        auto reply = readWhisperInferenceReply(result);
        using Kind = HttpTransportError::Kind;
        const bool gone = !result.response && result.error &&
                          (result.error->kind == Kind::cannotConnect || result.error->kind == Kind::connectionLost);
        queue->post([completion, reply = std::move(reply), gone] {
            if (const auto* transcript = std::get_if<WhisperTranscript>(&reply)) {
                completion({transcript->text, false});
            } else {
                completion({failed(std::get<WhisperInferenceFailure>(reply).message), gone});
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
