#include "engine/whisper/LocalWhisperTranscriber.h"

#include <fstream>
#include <iterator>
#include <system_error>
#include <variant>

#include "engine/support/TextTrimming.h"
#include "engine/whisper/ConversionFailure.h"
#include "engine/whisper/LocalWhisperReadiness.h"
#include "engine/whisper/WhisperLanguage.h"
#include "engine/whisper/WhisperOutput.h"
#include "engine/whisper/WhisperServerFailure.h"

namespace tavlo {
namespace fs = std::filesystem;

namespace {

DictationResult failedWith(std::string message) {
    return DictationResult::failure(DictationEngineError::localWhisperFailed(std::move(message)));
}

void removeIgnoringErrors(const fs::path& file) {
    std::error_code ignored;
    fs::remove(file, ignored);
}

// The file's text, or nothing when it cannot be read or is not UTF-8.
std::optional<std::string> readUtf8File(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(file)), {});
    if (file.bad()) return std::nullopt;
    std::string text = utf8TextOrEmpty(bytes);
    if (text.empty() && !bytes.empty()) return std::nullopt;
    return text;
}

}  // namespace

void removeLocalWhisperFiles(const LocalWhisperWorkFiles& files) {
    removeIgnoringErrors(files.audio);
    removeIgnoringErrors(files.wav);
    removeIgnoringErrors(files.outputText);
}

LocalWhisperTranscriber::LocalWhisperTranscriber(LocalWhisperSettings settings) : settings_(std::move(settings)) {
    WarmWhisperServerSettings server;
    server.mainQueue = settings_.mainQueue;
    server.processLauncher = settings_.processLauncher;
    server.httpClient = settings_.httpClient;
    server.searchLocations = settings_.searchLocations;
    server.temporaryDirectory = settings_.temporaryDirectory;
    server.processorCount = settings_.processorCount;
    server.port = settings_.serverPort;
    server.temporaryFiles = settings_.temporaryFiles;
    server.listenerIsOurs = settings_.listenerIsOurs;
    server.lock = settings_.serverLock;
    server.processActivity = settings_.processActivity;
    server.logDirectory = settings_.serverLogDirectory;
    server.logFiles = settings_.serverLogFiles;
    server_ = WarmWhisperServer::create(std::move(server));
}

std::shared_ptr<LocalWhisperTranscriber> LocalWhisperTranscriber::create(LocalWhisperSettings settings) {
    return std::shared_ptr<LocalWhisperTranscriber>(new LocalWhisperTranscriber(std::move(settings)));
}

bool LocalWhisperTranscriber::localWhisperStatus(std::string_view languageIdentifier,
                                                 const WhisperSearchLocations& locations) {
    return chooseLocalWhisperBackend(locations, languageIdentifier).has_value();
}

bool LocalWhisperTranscriber::hasLocalWhisper(std::string_view languageIdentifier) const {
    return chooseLocalWhisperBackend(settings_.searchLocations(), languageIdentifier, settings_.serverPort)
        .has_value();
}

std::optional<DictationEngineError> LocalWhisperTranscriber::localWhisperUnavailability(
    std::string_view languageIdentifier) const {
    const auto gap = localWhisperGap(settings_.searchLocations(), languageIdentifier);
    if (!gap) return std::nullopt;
    return localWhisperUnavailable(*gap, languageIdentifier);
}

void LocalWhisperTranscriber::transcribe(std::optional<fs::path> recording, std::string languageIdentifier,
                                         SessionCompletion session, bool recordingIsWhisperWav) {
    if (!recording) {
        session.finish(DictationResult::failure(DictationEngineError::localWhisperUnavailable()));
        return;
    }
    // The installation may have gone since recording started; the recording
    // is then kept.
    const WhisperSearchLocations locations = settings_.searchLocations();
    const auto backend = chooseLocalWhisperBackend(locations, languageIdentifier, settings_.serverPort);
    if (!backend) {
        const auto gap = localWhisperGap(locations, languageIdentifier);
        session.finish(DictationResult::failure(gap ? localWhisperUnavailable(*gap, languageIdentifier)
                                                    : DictationEngineError::localWhisperUnavailable()));
        return;
    }
    LocalWhisperWorkFiles files = LocalWhisperWorkFiles::forAudio(*recording);
    if (!recordingIsWhisperWav) {
        convert(files, *backend, languageIdentifier, session);
        return;
    }
    // The recording is its own conversion.
    files.wav = files.audio;
    removeIgnoringErrors(files.outputText);
    transcribeWav(files, *backend, languageIdentifier, session);
}

void LocalWhisperTranscriber::transcribeWav(const LocalWhisperWorkFiles& files, const LocalWhisperBackend& backend,
                                            const std::string& languageIdentifier, const SessionCompletion& session) {
    if (const auto* server = std::get_if<WhisperServerBackend>(&backend)) {
        runServer(files, *server, languageIdentifier, session);
    } else {
        runCommandLine(files, std::get<WhisperCliBackend>(backend), languageIdentifier, session);
    }
}

bool LocalWhisperTranscriber::launchForSession(const ProcessSpec& launchSpec, ProcessLauncher::TerminationHandler handler,
                                               const LocalWhisperWorkFiles& files,
                                               const SessionCompletion& session) {
    ProcessLaunch launch = settings_.processLauncher->launch(launchSpec, std::move(handler));
    if (!launch) {
        sessionProcess_.reset();
        session.finish(DictationResult::failure(PlatformError("process", launch.errorCode, launch.error)));
        removeLocalWhisperFiles(files);
        return false;
    }
    sessionProcess_ = launch.process;
    return true;
}

void LocalWhisperTranscriber::releaseSessionProcess(const std::shared_ptr<ChildProcess>& process) {
    if (sessionProcess_ == process) sessionProcess_.reset();
}

void LocalWhisperTranscriber::convert(const LocalWhisperWorkFiles& files, const LocalWhisperBackend& backend,
                                      const std::string& languageIdentifier, const SessionCompletion& session) {
    const WhisperSearchLocations locations = settings_.searchLocations();
    const auto ffmpeg = firstExecutable(locations.ffmpegCandidates);
    if (!ffmpeg) {
        session.finish(failedWith("ffmpeg is required for Local Whisper fast mode."));
        return;
    }
    removeIgnoringErrors(files.wav);
    removeIgnoringErrors(files.outputText);

    ProcessSpec launchSpec;
    launchSpec.executable = ffmpeg->string();
    launchSpec.arguments = ffmpegConversionArguments(files.audio, files.wav);
    launchSpec.environmentOverrides = whisperChildEnvironment(locations.homeDirectory);
    launchSpec.standardOutput = ProcessOutput::toPipe();
    launchSpec.standardError = ProcessOutput::toPipe();

    auto launched = std::make_shared<std::weak_ptr<ChildProcess>>();
    auto onEnd = [weak = weak_from_this(), queue = settings_.mainQueue, launched, files, backend, languageIdentifier,
                  session](const ProcessTermination& termination) {
        const bool succeeded = termination.succeeded();
        std::string errorText = utf8TextOrEmpty(termination.standardError);
        queue->post([=] {
            auto self = weak.lock();
            if (!self || !session.engineExists()) return;
            // An abandoned session's recording is of no use to anyone.
            if (!session.isCurrent()) {
                removeLocalWhisperFiles(files);
                return;
            }
            self->releaseSessionProcess(launched->lock());
            if (!succeeded) {
                session.finish(failedWith(ffmpegFailureMessage(errorText)));
                removeLocalWhisperFiles(files);
                return;
            }
            self->transcribeWav(files, backend, languageIdentifier, session);
        });
    };
    if (launchForSession(launchSpec, std::move(onEnd), files, session)) *launched = sessionProcess_;
}

void LocalWhisperTranscriber::runCommandLine(const LocalWhisperWorkFiles& files, const WhisperCliBackend& backend,
                                             const std::string& languageIdentifier,
                                             const SessionCompletion& session) {
    ProcessSpec launchSpec;
    launchSpec.executable = backend.executable.string();
    launchSpec.arguments = whisperCliArguments(backend.model, files, whisperThreadCount(settings_.processorCount),
                                         whisperLanguageCode(languageIdentifier));
    launchSpec.environmentOverrides = whisperChildEnvironment(settings_.searchLocations().homeDirectory);
    launchSpec.standardOutput = ProcessOutput::toPipe();
    launchSpec.standardError = ProcessOutput::toPipe();

    auto launched = std::make_shared<std::weak_ptr<ChildProcess>>();
    auto onEnd = [weak = weak_from_this(), queue = settings_.mainQueue, launched, files, model = backend.model,
                  session](const ProcessTermination& termination) {
        const bool succeeded = termination.succeeded();
        std::string errorText = utf8TextOrEmpty(termination.standardError);
        std::string outputText = utf8TextOrEmpty(termination.standardOutput);
        queue->post([=] {
            auto self = weak.lock();
            if (!self || !session.engineExists()) return;
            if (session.isCurrent()) {
                self->releaseSessionProcess(launched->lock());
                if (!succeeded) {
                    // The same words as the server for a model it cannot load.
                    const bool modelUnloadable =
                        errorText.find("failed to initialize whisper context") != std::string::npos;
                    session.finish(failedWith(modelUnloadable ? whisperModelNotLoaded(model)
                                                              : whisperCliErrorMessage(errorText)));
                } else {
                    // No text file (undecodable audio, say) leaves what was printed.
                    const std::string text = readUtf8File(files.outputText).value_or(outputText);
                    session.finish(DictationResult::success(normalizeWhisperOutput(text)));
                }
            }
            removeLocalWhisperFiles(files);
        });
    };
    if (launchForSession(launchSpec, std::move(onEnd), files, session)) *launched = sessionProcess_;
}

void LocalWhisperTranscriber::runServer(const LocalWhisperWorkFiles& files, const WhisperServerBackend& backend,
                                        const std::string& languageIdentifier, const SessionCompletion& session) {
    const std::string code = whisperLanguageCode(languageIdentifier).value_or("auto");
    server_->ensure(backend.serverURL, backend.model, code,
                    [weak = weak_from_this(), files, backend, code, session](std::optional<EngineError> error) {
                        auto self = weak.lock();
                        if (!self || !session.engineExists()) return;
                        if (session.isCurrent()) {
                            if (!error) {
                                self->upload(files, backend, code, session);
                                return;
                            }
                            session.finish(DictationResult::failure(*error));
                        }
                        removeLocalWhisperFiles(files);
                    });
}

void LocalWhisperTranscriber::upload(const LocalWhisperWorkFiles& files, const WhisperServerBackend& backend,
                                     const std::string& languageCode, const SessionCompletion& session,
                                     bool mayRestart) {
    auto sent = std::make_shared<std::weak_ptr<HttpTask>>();
    auto task = server_->postWav(
        backend.serverURL, files.wav,
        [weak = weak_from_this(), sent, files, backend, languageCode, session,
         mayRestart](WarmWhisperServer::UploadReply reply) {
            auto self = weak.lock();
            if (!self || !session.engineExists()) return;
            if (self->requestTask_ && self->requestTask_ == sent->lock()) self->requestTask_.reset();
            if (session.isCurrent()) {
                if (const auto* text = std::get_if<std::string>(&reply.result)) {
                    session.finish(DictationResult::success(normalizeWhisperOutput(*text)));
                } else if (reply.serverGone && mayRestart) {
                    // The server went away (it crashed, or was killed): one
                    // fresh start and one more try; the files stay for it.
                    self->server_->restart(
                        backend.serverURL, backend.model, languageCode,
                        [weak, files, backend, languageCode, session](std::optional<EngineError> error) {
                            auto self = weak.lock();
                            if (!self || !session.engineExists()) return;
                            if (session.isCurrent()) {
                                if (!error) {
                                    self->upload(files, backend, languageCode, session, false);
                                    return;
                                }
                                session.finish(DictationResult::failure(*error));
                            }
                            removeLocalWhisperFiles(files);
                        });
                    return;
                } else {
                    session.finish(DictationResult::failure(std::get<EngineError>(reply.result)));
                }
            }
            // Also for an abandoned session: its files are nobody's any more.
            removeLocalWhisperFiles(files);
        });
    *sent = task;
    requestTask_ = task;
}

void LocalWhisperTranscriber::cancelSessionWork() {
    if (requestTask_) requestTask_->cancel();
    requestTask_.reset();
    if (sessionProcess_) sessionProcess_->terminate();
    sessionProcess_.reset();
}

void LocalWhisperTranscriber::prepareLocalWhisper(std::string_view languageIdentifier) {
    const auto backend = chooseLocalWhisperBackend(settings_.searchLocations(), languageIdentifier, settings_.serverPort);
    const auto* server = backend ? std::get_if<WhisperServerBackend>(&*backend) : nullptr;
    if (!server) return;
    server_->ensure(server->serverURL, server->model, whisperLanguageCode(languageIdentifier).value_or("auto"),
                    [](std::optional<EngineError>) {});
}

void LocalWhisperTranscriber::shutdown() {
    cancelSessionWork();
    server_->stop();
}

}  // namespace tavlo
