#pragma once
// The whisper-server child process kept running between dictations, so the
// model is loaded once rather than for every dictation. It is started ahead
// of time or on first use, reused while model and language stay the same,
// replaced when either changes, and stopped when the program ends.
//
// With a lock (see WhisperServerLock) the user has one server at most: the
// run holding the lock starts it and records its model and language; other
// runs use it when those match, wait while it loads, and take over when its
// run lets go. A server that makes no progress while a request waits on it
// (stopped, or using no processor time) counts as lost, as a crashed one.
// Without a lock, a server that already answers at the address (started by
// someone else) is adopted and never terminated by us.
//
// Everything here runs on the main thread and never blocks it: the readiness
// probe and the wait for a starting server are chains of asynchronous
// requests and delayed main-queue tasks, with the same time limits a blocking
// wait would have.
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "engine/DictationEngineError.h"
#include "engine/whisper/WhisperInstallation.h"
#include "platform/HttpClient.h"
#include "platform/MainQueue.h"
#include "platform/ProcessActivity.h"
#include "platform/ProcessLauncher.h"
#include "platform/TemporaryFiles.h"
#include "platform/WhisperServerLock.h"

namespace tavlo {

struct WarmWhisperServerSettings {
    std::shared_ptr<MainQueue> mainQueue;
    std::shared_ptr<ProcessLauncher> processLauncher;
    std::shared_ptr<HttpClient> httpClient;
    // Asked afresh at every start.
    std::function<WhisperSearchLocations()> searchLocations;
    // The log goes to "SorvelWhisper/whisper-server.log" in this folder.
    std::filesystem::path temporaryDirectory;
    unsigned processorCount = 4;
    int port = kWarmWhisperServerPort;
    // Creates the log's folder as a private work folder; without it the
    // folder is created plainly.
    std::shared_ptr<TemporaryFiles> temporaryFiles;
    // Whether the program listening on this loopback port runs as this user.
    // A server that answers there but belongs to someone else is never
    // adopted: it would receive the user's recordings. Null: any answer is
    // taken (simulations).
    std::function<bool(int port)> listenerIsOurs;
    // The one-server-per-user lock; null: no other run is taken into account.
    std::shared_ptr<WhisperServerLock> lock;
    // Whether a process still gets anywhere; null: a request is only bounded
    // by its time limit.
    std::function<std::optional<ProcessActivity>(int processIdentifier)> processActivity;
    // How long a server may use no processor time while a request waits.
    std::chrono::milliseconds stallLimit = std::chrono::seconds(15);
    // Where the "SorvelWhisper" folder of the log goes when it should outlive
    // the run (the last log is kept for diagnostics); empty: the temporary
    // directory.
    std::filesystem::path logDirectory;
    // Creates the log's folder in logDirectory as a private folder.
    std::shared_ptr<TemporaryFiles> logFiles;
};

class WarmWhisperServer : public std::enable_shared_from_this<WarmWhisperServer> {
public:
    // No error means the server is ready.
    using Completion = std::function<void(std::optional<EngineError>)>;
    // The transcript as the server gave it, or why there is none;
    // `serverGone` when the server could not be reached or dropped the
    // connection (it died or was killed), as opposed to an answer.
    struct UploadReply {
        std::variant<std::string, EngineError> result;
        bool serverGone = false;
    };
    using UploadCompletion = std::function<void(UploadReply)>;

    static constexpr auto kProbeTimeout = std::chrono::milliseconds(350);
    static constexpr auto kProbeWaitLimit = std::chrono::milliseconds(500);
    static constexpr int kReadinessAttempts = 48;
    static constexpr auto kReadinessInterval = std::chrono::milliseconds(125);
    static constexpr auto kActivityInterval = std::chrono::milliseconds(250);

    static std::shared_ptr<WarmWhisperServer> create(WarmWhisperServerSettings settings);

    // Makes sure a ready server with this model and language answers at the
    // address. The completion runs on the main thread, never inside this call
    // unless no server can be started at all.
    void ensure(const std::string& serverURL, const std::filesystem::path& model, const std::string& languageCode,
                Completion completion);

    // Sends the WAV file for transcription. Returns the request, or nothing
    // when the file could not be read (the completion then already ran).
    std::shared_ptr<HttpTask> postWav(const std::string& serverURL, const std::filesystem::path& wav,
                                      UploadCompletion completion);

    // Starts the server afresh (after it was lost), in place of whatever
    // process of ours was recorded; a lost server of another run is ended,
    // and its lock taken over once that run lets go.
    void restart(const std::string& serverURL, const std::filesystem::path& model, const std::string& languageCode,
                 Completion completion);

    // Terminates a server we started and forgets what it was started with.
    void stop();

    // Whether anything answers at the address: a reply with a status from 200
    // to 499 within the time limits. The answer arrives on the main thread.
    void probe(const std::string& serverURL, std::function<void(bool)> answer);

    // What the running (or adopted) server was started with.
    const std::shared_ptr<ChildProcess>& process() const { return process_; }
    const std::optional<std::filesystem::path>& model() const { return model_; }
    const std::optional<std::string>& languageCode() const { return languageCode_; }
    const std::optional<std::filesystem::path>& logFile() const { return logFile_; }

private:
    explicit WarmWhisperServer(WarmWhisperServerSettings settings) : settings_(std::move(settings)) {}

    void start(const std::string& serverURL, const std::filesystem::path& model, const std::string& languageCode,
               Completion completion);
    void waitForReadiness(const std::shared_ptr<ChildProcess>& process, const std::string& serverURL,
                          std::function<void(bool ready)> done);
    void readinessAttempt(std::shared_ptr<ChildProcess> process, std::string serverURL, int attempt,
                          std::function<void(bool ready)> done);
    std::optional<std::filesystem::path> logFolderReady() const;
    void launch(const std::string& serverURL, const std::filesystem::path& model, const std::string& languageCode,
                Completion completion);
    // Finds the server when none of ours runs: probes the address, then
    // adopts, waits for another run's server, or starts one.
    void ensureWithoutOwnServer(const std::string& serverURL, const std::filesystem::path& model,
                                const std::string& languageCode, Completion completion, int attempt);
    void decideWithoutOwnServer(bool answered, const std::string& serverURL, const std::filesystem::path& model,
                                const std::string& languageCode, Completion completion, int attempt);
    void serverEnded(const std::shared_ptr<ChildProcess>& ended);
    // The process a request waits on: ours, or the adopted one of another run.
    int serverProcessIdentifier() const;
    bool stalled(int processIdentifier) const;
    std::string startFailure(const std::filesystem::path& model) const;
    void watchUpload(int processIdentifier, std::weak_ptr<HttpTask> task, std::optional<unsigned long long> ticks,
                     MainQueue::TimePoint lastProgress, std::function<bool(std::shared_ptr<WorkItem>)> keepWatching,
                     std::function<void()> lost);

    WarmWhisperServerSettings settings_;
    std::shared_ptr<ChildProcess> process_;
    std::optional<std::filesystem::path> model_;
    std::optional<std::string> languageCode_;
    std::optional<std::filesystem::path> logFile_;
    // The server of another run in use, from that run's record; 0 when none.
    int adoptedProcess_ = 0;
    // While the probe for an adoptable server is out, later requests wait for
    // its outcome instead of starting a second server next to the first.
    bool adoptionProbeOut_ = false;
    // Counts stop() calls, so a wait whose server was stopped on purpose
    // does not start a new one.
    unsigned stops_ = 0;
    std::vector<std::function<void()>> waitingForAdoption_;
};

}  // namespace tavlo
