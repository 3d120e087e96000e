#pragma once
// Local Whisper after stop: the recording is converted by ffmpeg to 16 kHz
// mono 16-bit WAV (unless it was recorded in that form), then transcribed by the warm whisper-server (preferred) or
// by one run of whisper-cli, and the work files are deleted. The installation
// is looked up afresh for every transcription, so installing or removing a
// tool takes effect at once.
//
// All members run on the main thread. Child-process and HTTP completions
// arrive on background threads and only hand their outcome to the main queue;
// they hold this object weakly and carry the session they belong to, so a
// late result of an abandoned session changes nothing.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "engine/DictationResult.h"
#include "engine/session/SessionCompletion.h"
#include "engine/whisper/WarmWhisperServer.h"
#include "engine/whisper/WhisperCommands.h"
#include "engine/whisper/WhisperInstallation.h"
#include "platform/HttpClient.h"
#include "platform/MainQueue.h"
#include "platform/ProcessLauncher.h"

namespace tavlo {

struct LocalWhisperSettings {
    std::shared_ptr<MainQueue> mainQueue;
    std::shared_ptr<ProcessLauncher> processLauncher;
    std::shared_ptr<HttpClient> httpClient;
    std::function<WhisperSearchLocations()> searchLocations = [] { return WhisperSearchLocations::standard(); };
    std::filesystem::path temporaryDirectory = std::filesystem::temp_directory_path();
    unsigned processorCount = std::thread::hardware_concurrency();
    int serverPort = kWarmWhisperServerPort;
    // See WarmWhisperServerSettings::listenerIsOurs.
    std::function<bool(int port)> listenerIsOurs;
    // Makes the server log's folder private; see WarmWhisperServerSettings.
    std::shared_ptr<TemporaryFiles> temporaryFiles;
    // See WarmWhisperServerSettings: one server per user, and how a server
    // that makes no progress is noticed.
    std::shared_ptr<WhisperServerLock> serverLock;
    std::function<std::optional<ProcessActivity>(int processIdentifier)> processActivity;
    std::filesystem::path serverLogDirectory;
    std::shared_ptr<TemporaryFiles> serverLogFiles;
};

class LocalWhisperTranscriber : public std::enable_shared_from_this<LocalWhisperTranscriber> {
public:
    static std::shared_ptr<LocalWhisperTranscriber> create(LocalWhisperSettings settings);

    // Whether an installation (model for the language, ffmpeg, and the server
    // or the command-line tool) is there.
    static bool localWhisperStatus(std::string_view languageIdentifier,
                                   const WhisperSearchLocations& locations = WhisperSearchLocations::standard());
    bool hasLocalWhisper(std::string_view languageIdentifier) const;
    // Why local Whisper cannot run for the language, or nothing when it can.
    std::optional<DictationEngineError> localWhisperUnavailability(std::string_view languageIdentifier) const;

    // Transcribes the recording for the session; the outcome goes to
    // `session.finish` on the main thread (within this call when the
    // installation is missing). A recording that is already 16 kHz mono
    // 16-bit PCM WAV is read as it is, without ffmpeg.
    void transcribe(std::optional<std::filesystem::path> recording, std::string languageIdentifier,
                    SessionCompletion session, bool recordingIsWhisperWav = false);

    // The session was abandoned: cancel its upload and terminate its ffmpeg
    // or whisper-cli process. The warm server keeps running.
    void cancelSessionWork();

    // Starts or re-uses the warm server for the language, if the server is
    // the back end; the outcome is ignored.
    void prepareLocalWhisper(std::string_view languageIdentifier);

    // The program ends: stop the warm server.
    void shutdown();

    // The running ffmpeg or whisper-cli process of the current session.
    const std::shared_ptr<ChildProcess>& sessionProcess() const { return sessionProcess_; }
    const std::shared_ptr<HttpTask>& requestTask() const { return requestTask_; }
    const WarmWhisperServer& server() const { return *server_; }

private:
    explicit LocalWhisperTranscriber(LocalWhisperSettings settings);

    void convert(const LocalWhisperWorkFiles& files, const LocalWhisperBackend& backend,
                 const std::string& languageIdentifier, const SessionCompletion& session);
    void transcribeWav(const LocalWhisperWorkFiles& files, const LocalWhisperBackend& backend,
                       const std::string& languageIdentifier, const SessionCompletion& session);
    void runCommandLine(const LocalWhisperWorkFiles& files, const WhisperCliBackend& backend,
                        const std::string& languageIdentifier, const SessionCompletion& session);
    void runServer(const LocalWhisperWorkFiles& files, const WhisperServerBackend& backend,
                   const std::string& languageIdentifier, const SessionCompletion& session);
    // Sends the recording to the warm server. A server that is lost on the
    // way (it died or was killed) is started again once and sent the
    // recording once more before the session fails.
    void upload(const LocalWhisperWorkFiles& files, const WhisperServerBackend& backend, const std::string& languageCode,
                const SessionCompletion& session, bool mayRestart = true);
    bool launchForSession(const ProcessSpec& launchSpec, ProcessLauncher::TerminationHandler handler,
                          const LocalWhisperWorkFiles& files, const SessionCompletion& session);
    void releaseSessionProcess(const std::shared_ptr<ChildProcess>& process);

    LocalWhisperSettings settings_;
    std::shared_ptr<WarmWhisperServer> server_;
    std::shared_ptr<ChildProcess> sessionProcess_;
    std::shared_ptr<HttpTask> requestTask_;
};

// Deletes the recording, the converted WAV and the output text, ignoring errors.
void removeLocalWhisperFiles(const LocalWhisperWorkFiles& files);

}  // namespace tavlo
