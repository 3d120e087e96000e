#include "engine/whisper/WarmWhisperServer.h"

#include <system_error>

#include "engine/support/FileBytes.h"
#include "engine/support/RandomUuid.h"
#include "engine/whisper/LocalWhisperReadiness.h"
#include "engine/whisper/WhisperCommands.h"
#include "engine/whisper/WhisperInference.h"
#include "engine/whisper/WhisperServerFailure.h"

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
    if (!process_) {
        ensureWithoutOwnServer(serverURL, model, languageCode, std::move(completion), 1);
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
                             } else if (process->isRunning() && self->stalled(process->processIdentifier())) {
                                 // Stopped: as good as lost, so it is replaced.
                                 self->start(serverURL, model, languageCode, completion);
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

void WarmWhisperServer::ensureWithoutOwnServer(const std::string& serverURL, const fs::path& model,
                                               const std::string& languageCode, Completion completion, int attempt) {
    if (adoptionProbeOut_) {
        // One probe at a time, so two requests never start two servers.
        waitingForAdoption_.push_back([weak = weak_from_this(), serverURL, model, languageCode, completion] {
            if (auto self = weak.lock()) self->ensure(serverURL, model, languageCode, completion);
        });
        return;
    }
    adoptionProbeOut_ = true;
    probe(serverURL, [weak = weak_from_this(), serverURL, model, languageCode, completion, attempt](bool answered) {
        auto self = weak.lock();
        if (!self) return;
        self->adoptionProbeOut_ = false;
        self->decideWithoutOwnServer(answered, serverURL, model, languageCode, completion, attempt);
        auto waiting = std::move(self->waitingForAdoption_);
        self->waitingForAdoption_.clear();
        for (auto& retry : waiting) retry();
    });
}

void WarmWhisperServer::decideWithoutOwnServer(bool answered, const std::string& serverURL, const fs::path& model,
                                               const std::string& languageCode, Completion completion, int attempt) {
    adoptedProcess_ = 0;
    const int port = settings_.port;
    if (answered && settings_.listenerIsOurs && !settings_.listenerIsOurs(port)) {
        completion(failed("Another user's program is listening on the local Whisper server's port " +
                          std::to_string(port) + "; your recordings are not sent to it."));
        return;
    }
    const auto& lock = settings_.lock;
    if (!lock) {
        // Whatever already answers at the address is taken as it is; with no
        // process of ours recorded, the next request probes again.
        if (answered) {
            model_ = model;
            languageCode_ = languageCode;
            completion(std::nullopt);
        } else {
            start(serverURL, model, languageCode, completion);
        }
        return;
    }
    auto again = [weak = weak_from_this(), serverURL, model, languageCode, completion, attempt] {
        if (auto self = weak.lock())
            self->ensureWithoutOwnServer(serverURL, model, languageCode, completion, attempt + 1);
    };
    if (lock->tryAcquire()) {
        // No other run keeps a server: this one starts it.
        if (!answered) {
            start(serverURL, model, languageCode, completion);
        } else if (lock->endRecordedServer() && attempt < kReadinessAttempts) {
            // Left by a run that ended without it; its model and language
            // are not known to fit, so it is replaced once its port is free.
            settings_.mainQueue->postAfter(kReadinessInterval, again);
        } else {
            lock->release();
            completion(failed("Port " + std::to_string(port) +
                              " is in use by a program Tavlo did not start, so local Whisper cannot start its "
                              "server. Stop that program and try again."));
        }
        return;
    }
    // Another run holds the lock: its server is the user's one.
    const auto shared = lock->recorded();
    if (shared && (shared->model != model.string() || shared->languageCode != languageCode)) {
        completion(failed("Another Tavlo runs the local Whisper server with a different model or language."));
        return;
    }
    if (shared && answered && !stalled(shared->processIdentifier)) {
        adoptedProcess_ = shared->processIdentifier;
        model_ = model;
        languageCode_ = languageCode;
        completion(std::nullopt);
        return;
    }
    // Stopped: it will not load; ended, its run lets go of the lock.
    if (shared && stalled(shared->processIdentifier)) lock->endRecordedServer();
    if (attempt >= kReadinessAttempts) {
        completion(failed("Local Whisper server did not become ready."));
        return;
    }
    // Still loading, or its run is just starting it: wait, then look again.
    settings_.mainQueue->postAfter(kReadinessInterval, again);
}

void WarmWhisperServer::restart(const std::string& serverURL, const fs::path& model, const std::string& languageCode,
                                Completion completion) {
    if (!process_ && adoptedProcess_ != 0 && settings_.lock) {
        // Another run's server was lost: ended here, so its run lets go of
        // the lock and one of the runs starts the next server.
        const auto shared = settings_.lock->recorded();
        if (shared && shared->processIdentifier == adoptedProcess_) settings_.lock->endRecordedServer();
        adoptedProcess_ = 0;
        ensureWithoutOwnServer(serverURL, model, languageCode, std::move(completion), 1);
        return;
    }
    start(serverURL, model, languageCode, std::move(completion));
}

int WarmWhisperServer::serverProcessIdentifier() const {
    if (process_) return process_->processIdentifier();
    return adoptedProcess_;
}

bool WarmWhisperServer::stalled(int processIdentifier) const {
    if (!settings_.processActivity || processIdentifier <= 0) return false;
    const auto activity = settings_.processActivity(processIdentifier);
    return activity && activity->stopped;
}

void WarmWhisperServer::serverEnded(const std::shared_ptr<ChildProcess>& ended) {
    // The lock goes with the last server of ours: while one runs (even one
    // shutting down) no other run may start a second.
    if (process_ && process_ != ended && process_->isRunning()) return;
    if (settings_.lock) settings_.lock->release();
}

std::string WarmWhisperServer::startFailure(const fs::path& model) const {
    if (logFile_) {
        try {
            if (auto reason = whisperServerStartFailure(readFileBytes(*logFile_), model, settings_.port)) return *reason;
        } catch (const PlatformError&) {
        }
    }
    return "Local Whisper server exited before it was ready.";
}

std::optional<fs::path> WarmWhisperServer::logFolderReady() const {
    const bool kept = !settings_.logDirectory.empty();
    const fs::path folder = (kept ? settings_.logDirectory : settings_.temporaryDirectory) / "SorvelWhisper";
    const auto& folders = kept ? settings_.logFiles : settings_.temporaryFiles;
    try {
        if (folders) {
            folders->createDirectories(folder);
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
    if (settings_.lock && !settings_.lock->tryAcquire()) {
        // Another run started one meanwhile: use that one.
        ensureWithoutOwnServer(serverURL, model, languageCode, std::move(completion), 1);
        return;
    }
    const WhisperSearchLocations locations = settings_.searchLocations();
    const auto executable = firstExecutable(locations.whisperServerCandidates);
    if (!executable) {
        if (settings_.lock) settings_.lock->release();
        completion(localWhisperUnavailable(LocalWhisperGap::noWhisperProgram, languageCode));
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

    // Its end is otherwise noticed at the next use; only the lock is given
    // back then, so another run may start the next server.
    auto launched = std::make_shared<std::weak_ptr<ChildProcess>>();
    // The launcher keeps this callback, and the queue's pending work can hold
    // the launcher, so the queue is held weakly here.
    auto onEnd = [weak = weak_from_this(), weakQueue = std::weak_ptr<MainQueue>(settings_.mainQueue),
                  launched](const ProcessTermination&) {
        const auto queue = weakQueue.lock();
        if (!queue) return;
        queue->post([weak, launched] {
            if (auto self = weak.lock()) self->serverEnded(launched->lock());
        });
    };
    ProcessLaunch launch = settings_.processLauncher->launch(launchSpec, onEnd);
    if (!launch && log) {
        // The log could not be made; the server runs without one.
        launchSpec.standardOutput = launchSpec.standardError = ProcessOutput::discarded();
        launch = settings_.processLauncher->launch(launchSpec, onEnd);
        log.reset();
    }
    if (!launch) {
        if (settings_.lock) settings_.lock->release();
        completion(PlatformError("process", launch.errorCode, launch.error));
        return;
    }
    *launched = launch.process;
    process_ = launch.process;
    model_ = model;
    languageCode_ = languageCode;
    logFile_ = log;
    adoptedProcess_ = 0;
    if (settings_.lock) settings_.lock->record({process_->processIdentifier(), model.string(), languageCode});

    const auto process = process_;
    waitForReadiness(process, serverURL, [weak = weak_from_this(), process, model, completion](bool ready) {
        auto self = weak.lock();
        if (!self) return;
        if (ready) {
            completion(std::nullopt);
        } else if (process->isRunning()) {
            completion(failed("Local Whisper server did not become ready."));
        } else {
            // Its own words say why (the log is complete once it ended).
            completion(failed(self->startFailure(model)));
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
    if (!process->isRunning() || stalled(process->processIdentifier())) {
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
    // The file is sent from disk; only its size is needed here.
    std::error_code sizeError;
    const std::uintmax_t size = fs::file_size(wav, sizeError);
    if (sizeError) {
        completion({PlatformError("file", sizeError.value(),
                                  "The file \"" + wav.filename().string() + "\" could not be read: " + sizeError.message()),
                    false});
        return nullptr;
    }

    // Decided once: by the reply, or by the watch finding the server stuck.
    struct Upload {
        bool decided = false;
        std::shared_ptr<WorkItem> watch;
    };
    auto upload = std::make_shared<Upload>();
    auto decide = [upload, completion](UploadReply reply) {
        if (upload->decided) return;
        upload->decided = true;
        if (upload->watch) upload->watch->cancel();
        completion(std::move(reply));
    };

    HttpRequest request = whisperInferenceUpload(serverURL, "SorvelBoundary-" + makeRandomUuid(), wav);
    request.timeoutSeconds = whisperInferenceTimeoutSeconds(whisperWavSeconds(size));
    const auto task =
        settings_.httpClient->dataTask(request, [queue = settings_.mainQueue, decide](HttpResult result) {
            // Read on the client's thread; only the outcome goes to the main thread.
            auto reply = readWhisperInferenceReply(result);
            using Kind = HttpTransportError::Kind;
            const bool gone = !result.response && result.error &&
                              (result.error->kind == Kind::cannotConnect || result.error->kind == Kind::connectionLost);
            // Words about the local server, not the network, whose faults
            // these are not.
            if (gone) reply = WhisperInferenceFailure{"The local Whisper server closed the connection."};
            if (!result.response && result.error && result.error->kind == Kind::timedOut)
                reply = WhisperInferenceFailure{"The local Whisper server did not finish in time."};
            // Audio the server cannot decode: no text, as whisper-cli gives
            // for the same file.
            if (result.response && result.response->statusCode == 400) reply = WhisperTranscript{};
            queue->post([decide, reply = std::move(reply), gone] {
                if (const auto* transcript = std::get_if<WhisperTranscript>(&reply)) {
                    decide({transcript->text, false});
                } else {
                    decide({failed(std::get<WhisperInferenceFailure>(reply).message), gone});
                }
            });
        });
    const int pid = serverProcessIdentifier();
    if (settings_.processActivity && pid > 0)
        watchUpload(pid, std::weak_ptr(task), std::nullopt, settings_.mainQueue->now(),
                    [upload, decide](std::shared_ptr<WorkItem> next) {
                        if (upload->decided) return false;
                        upload->watch = std::move(next);
                        return true;
                    },
                    [decide] { decide({failed(kWhisperServerStalled), true}); });
    return task;
}

// Every little while: a stopped server, or one that used no processor time
// for the stall limit, will not answer; the request is given up and the
// server counts as lost.
void WarmWhisperServer::watchUpload(int pid, std::weak_ptr<HttpTask> task, std::optional<unsigned long long> ticks,
                                    MainQueue::TimePoint lastProgress,
                                    std::function<bool(std::shared_ptr<WorkItem>)> keepWatching,
                                    std::function<void()> lost) {
    auto check = [weak = weak_from_this(), pid, task, ticks, lastProgress, keepWatching, lost]() mutable {
        auto self = weak.lock();
        if (!self) return;
        const auto activity = self->settings_.processActivity(pid);
        const auto now = self->settings_.mainQueue->now();
        // A server that ended is reported by the request itself.
        if (activity && !activity->stopped && (!ticks || activity->cpuTicks != *ticks)) {
            ticks = activity->cpuTicks;
            lastProgress = now;
        }
        if (activity && (activity->stopped || now - lastProgress >= self->settings_.stallLimit)) {
            if (auto request = task.lock()) request->cancel();
            lost();
            return;
        }
        self->watchUpload(pid, task, ticks, lastProgress, keepWatching, lost);
    };
    // Only the queued task holds the chain, so it ends with the queue.
    auto next = settings_.mainQueue->postAfter(kActivityInterval, check);
    if (!keepWatching(next)) next->cancel();
}

void WarmWhisperServer::stop() {
    ++stops_;
    if (process_) {
        // The lock is given back when the server has ended.
        process_->terminate();
    } else if (settings_.lock) {
        settings_.lock->release();
    }
    adoptedProcess_ = 0;
    process_.reset();
    model_.reset();
    languageCode_.reset();
    logFile_.reset();
}

}  // namespace tavlo
