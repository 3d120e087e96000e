// Local Whisper and the warm server in virtual time: simulated ffmpeg,
// whisper-cli and whisper-server processes and a simulated loopback HTTP
// server, so every failure, readiness and reply case is exact and instant.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/session/DelayedBackEnds.h"
#include "engine/DictationEngine.h"
#include "engine/whisper/LocalWhisperTranscriber.h"
#include "platform/sim/SimAudioCapture.h"
#include "platform/sim/SimAudioFileWriter.h"
#include "platform/sim/SimHttpClient.h"
#include "platform/sim/SimMainQueue.h"
#include "platform/sim/SimProcessLauncher.h"
#include "platform/sim/SimSpeechRecognizerService.h"
#include "platform/sim/SimTemporaryFiles.h"
#include "engine/whisper/WhisperTestFiles.h"

namespace tavlo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ScratchFolder;
using Duration = MainQueue::Duration;

std::string argumentAfter(const std::vector<std::string>& arguments, const std::string& option) {
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i)
        if (arguments[i] == option) return arguments[i + 1];
    return {};
}

// How the simulated outside programs behave; tests change what they need.
struct World {
    // ffmpeg
    int ffmpegStatus = 0;
    std::string ffmpegError;
    std::optional<std::string> ffmpegLaunchError;
    Duration ffmpegTime = 150ms;
    // whisper-cli
    int cliStatus = 0;
    std::string cliError;
    std::optional<std::string> cliText = " Hello from the command line.\n";  // absent: no .txt file
    std::string cliStdout = "\n Hello from the command line.";
    Duration cliTime = 400ms;
    // whisper-server
    Duration serverLoadTime = 1s;         // before its port answers
    std::optional<Duration> serverExitsAfter;  // ends by itself during start-up
    std::optional<std::string> serverLaunchError;
    SimHttpClient::Reply inferenceReply = SimHttpClient::Reply::status(200, "{\"text\":\" hello world\\n\"}", 200ms);
    // Something else answering on the port without any process of ours.
    std::optional<SimHttpClient::Reply> foreignServer;
    // How many inference requests find the server crashing under them.
    int serverCrashesOnInference = 0;
};

// Lets a test change the job the engine hands over (to take its recording away).
class JobEditor final : public DelayedTranscriber {
public:
    explicit JobEditor(std::shared_ptr<DelayedTranscriber> inner) : inner_(std::move(inner)) {}
    bool hasLocalWhisper(const std::string& language) override { return inner_->hasLocalWhisper(language); }
    std::optional<DictationEngineError> localWhisperUnavailability(const std::string& language) override {
        return inner_->localWhisperUnavailability(language);
    }
    void transcribe(DelayedTranscriptionJob job, SessionCompletion completion) override {
        if (convertLikeAUserFile) job.audioIsWhisperWav = false;
        if (edit) edit(job);
        inner_->transcribe(std::move(job), std::move(completion));
    }
    void cancelSessionWork() override { inner_->cancelSessionWork(); }
    void prepareLocalWhisper(const std::string& language) override { inner_->prepareLocalWhisper(language); }
    void shutdown() override { inner_->shutdown(); }

    std::function<void(DelayedTranscriptionJob&)> edit;
    // Most cases here follow the ffmpeg conversion, which files the user
    // transcribes go through; a dictation's own recording skips it.
    bool convertLikeAUserFile = true;

private:
    std::shared_ptr<DelayedTranscriber> inner_;
};

// The real engine on the simulated platform, with local Whisper as its
// delayed back end and simulated outside programs behind that.
class LocalWhisperSimulation : public ::testing::Test {
public:  // the failure table arranges its cases through a reference to the fixture
    LocalWhisperSimulation() {
        const fs::path bin = scratch_.path() / "bin";
        locations_.homeDirectory = scratch_.path() / "home";
        locations_.whisperServerCandidates = {bin / "whisper-server"};
        locations_.whisperCliCandidates = {bin / "whisper-cli"};
        locations_.ffmpegCandidates = {bin / "ffmpeg"};
        ScratchFolder::makeExecutable(bin / "ffmpeg");
        ScratchFolder::makeExecutable(bin / "whisper-cli");
        ScratchFolder::write(model("ggml-base.en.bin"), "model");
        ScratchFolder::write(model("ggml-base.bin"), "model");

        // Weakly: the simulated processes hold this, and the queue holds tasks that hold them.
        auto schedule = [queue = std::weak_ptr(queue_)](Duration delay, std::function<void()> task) {
            if (auto alive = queue.lock()) alive->postAfter(delay, std::move(task));
        };
        launcher_ = std::make_shared<SimProcessLauncher>(schedule);
        http_ = std::make_shared<SimHttpClient>(schedule);
        launcher_->setBehaviour([this](const ProcessSpec& launchSpec) { return behave(launchSpec); });
        http_->setServer([this](const HttpRequest& request) { return answer(request); });

        LocalWhisperSettings settings;
        settings.mainQueue = queue_;
        settings.processLauncher = launcher_;
        settings.httpClient = http_;
        settings.searchLocations = [this] {
            ++locationLookups_;
            return lookupOverride_ ? lookupOverride_(locationLookups_) : locations_;
        };
        settings.temporaryDirectory = temporary_->temporaryDirectory();
        settings.processorCount = 8;
        settings.listenerIsOurs = [this](int) { return !foreignServerIsAnotherUsers_; };
        transcriber_ = LocalWhisperTranscriber::create(settings);
        editor_ = std::make_shared<JobEditor>(std::make_shared<DelayedBackEnds>(transcriber_));

        engine_ = DictationEngine::create({queue_, std::make_shared<SimSpeechRecognizerService>(),
                                           std::make_shared<SimAudioCapture>(), audioFiles_, temporary_, editor_,
                                           "en_US"});
        engine_->onComplete = [this](const DictationResult& result) { finished_.push_back(result); };
    }

    fs::path model(const char* name) const { return scratch_.path() / "home/.cache/whisper.cpp" / name; }
    void installServer() { ScratchFolder::makeExecutable(scratch_.path() / "bin/whisper-server"); }

    // Starts recording; the recording file is made real so its removal can be seen.
    fs::path startDictation(const std::string& language = "en_US") {
        DictationStartOptions options;
        options.model = SpeechModel::localWhisper;
        options.languageIdentifier = language;
        engine_->start(options);
        const fs::path recording = audioFiles_->latestFile()->path();
        ScratchFolder::write(recording, "recorded audio");
        return recording;
    }

    fs::path dictate(const std::string& language = "en_US") {
        const fs::path recording = startDictation(language);
        engine_->stopAndCommit();
        return recording;
    }

    // Runs the virtual clock until a result arrived (or the limit passed).
    void settle(Duration limit = 60s) {
        const std::size_t before = finished_.size();
        for (Duration spent{}; spent < limit && finished_.size() == before; spent += 10ms) queue_->advanceBy(10ms);
    }

    std::string only() {
        EXPECT_EQ(finished_.size(), 1u);
        if (finished_.empty()) return "<nothing>";
        const auto& result = finished_.back();
        return result.isSuccess() ? "text: " + result.text() : "error: " + errorDescription(result.error());
    }

    std::size_t requestsTo(const std::string& method) const {
        std::size_t count = 0;
        for (const auto& request : http_->requests()) count += request.method == method;
        return count;
    }

    SimProcessLauncher::Script behave(const ProcessSpec& launchSpec) {
        const std::string program = fs::path(launchSpec.executable).filename();
        SimProcessLauncher::Script script;
        if (program == "ffmpeg") {
            script.launchError = world_.ffmpegLaunchError;
            script.endsAfter = world_.ffmpegTime;
            script.exitStatus = world_.ffmpegStatus;
            script.standardError = world_.ffmpegError;
            const fs::path output = launchSpec.arguments.back();
            if (world_.ffmpegStatus == 0) script.effect = [output] { ScratchFolder::write(output, "RIFF wav"); };
        } else if (program == "whisper-cli") {
            script.endsAfter = world_.cliTime;
            script.exitStatus = world_.cliStatus;
            script.standardError = world_.cliError;
            script.standardOutput = world_.cliStdout;
            const fs::path text = argumentAfter(launchSpec.arguments, "-of") + ".txt";
            if (world_.cliText) script.effect = [text, content = *world_.cliText] { ScratchFolder::write(text, content); };
        } else if (program == "whisper-server") {
            script.launchError = world_.serverLaunchError;
            script.endsAfter = world_.serverExitsAfter;
            script.exitStatus = 1;
            serverStarted_ = queue_->now();
        }
        return script;
    }

    // The loopback port: our newest server answers once it has loaded its model.
    SimHttpClient::Reply answer(const HttpRequest& request) {
        std::shared_ptr<ChildProcess> server;
        for (const auto& launch : launcher_->launchesOf("whisper-server"))
            if (launch.process && launch.process->isRunning()) server = launch.process;
        const bool ours = server && queue_->now() - serverStarted_ >= world_.serverLoadTime;
        if (!ours) {
            if (!world_.foreignServer) return SimHttpClient::Reply::connectionRefused();
            if (request.method == "GET") return *world_.foreignServer;
        } else if (request.method == "GET") {
            return SimHttpClient::Reply::status(200, "<html></html>");
        } else if (world_.serverCrashesOnInference > 0) {
            --world_.serverCrashesOnInference;
            for (const auto& launch : launcher_->launchesOf("whisper-server"))
                if (launch.process == server) queue_->post([process = launch.process] { process->exit(139); });
            return SimHttpClient::Reply::failure(HttpTransportError::Kind::connectionLost,
                                                 "The network connection was lost.");
        }
        return world_.inferenceReply;
    }

    ScratchFolder scratch_;
    WhisperSearchLocations locations_;
    World world_;
    std::shared_ptr<SimMainQueue> queue_ = std::make_shared<SimMainQueue>();
    std::shared_ptr<SimTemporaryFiles> temporary_ = std::make_shared<SimTemporaryFiles>(scratch_.path() / "tmp");
    std::shared_ptr<SimAudioFileWriter> audioFiles_ = std::make_shared<SimAudioFileWriter>();
    std::shared_ptr<SimProcessLauncher> launcher_;
    std::shared_ptr<SimHttpClient> http_;
    std::shared_ptr<LocalWhisperTranscriber> transcriber_;
    std::shared_ptr<JobEditor> editor_;
    std::shared_ptr<DictationEngine> engine_;
    std::function<WhisperSearchLocations(int lookup)> lookupOverride_;
    int locationLookups_ = 0;
    // Whether the server found answering belongs to another user.
    bool foreignServerIsAnotherUsers_ = false;
    MainQueue::TimePoint serverStarted_{};
    std::vector<DictationResult> finished_;
};

// ---- the command line and the failure table ----

TEST_F(LocalWhisperSimulation, CommandLineRunConvertsTranscribesAndCleansUp) {
    const fs::path recording = startDictation();
    const auto files = LocalWhisperWorkFiles::forAudio(recording);
    ScratchFolder::write(files.wav, "stale wav of an earlier run");
    engine_->stopAndCommit();
    queue_->runUntilIdle();

    ASSERT_EQ(launcher_->launches().size(), 1u);
    EXPECT_FALSE(ScratchFolder::exists(files.wav)) << "an old conversion is removed before ffmpeg runs";
    const auto& ffmpeg = launcher_->launches()[0].launchSpec;
    EXPECT_EQ(ffmpeg.arguments, ffmpegConversionArguments(recording, files.wav));
    EXPECT_EQ(ffmpeg.standardError.kind, ProcessOutput::Kind::pipe);
    EXPECT_EQ(ffmpeg.environmentOverrides, whisperChildEnvironment(locations_.homeDirectory));
    EXPECT_EQ(transcriber_->sessionProcess(), launcher_->launches()[0].process);

    settle();
    EXPECT_EQ(only(), "text: Hello from the command line.");
    const auto cli = launcher_->launchesOf("whisper-cli");
    ASSERT_EQ(cli.size(), 1u);
    EXPECT_EQ(cli[0].launchSpec.arguments, whisperCliArguments(model("ggml-base.en.bin"), files, 6, "en"));
    EXPECT_EQ(transcriber_->sessionProcess(), nullptr);
    for (const auto& file : {files.audio, files.wav, files.outputText}) EXPECT_FALSE(ScratchFolder::exists(file)) << file;
}

TEST_F(LocalWhisperSimulation, ARecordingInWhispersFormGoesToTheCommandLineWithoutFfmpeg) {
    editor_->convertLikeAUserFile = false;
    const fs::path recording = dictate();
    settle();
    EXPECT_EQ(only(), "text: Hello from the command line.");
    ASSERT_EQ(launcher_->launches().size(), 1u);
    LocalWhisperWorkFiles files = LocalWhisperWorkFiles::forAudio(recording);
    files.wav = recording;
    EXPECT_EQ(launcher_->launches()[0].launchSpec.arguments,
              whisperCliArguments(model("ggml-base.en.bin"), files, 6, "en"));
    for (const auto& file : {files.audio, files.outputText}) EXPECT_FALSE(ScratchFolder::exists(file)) << file;
}

TEST_F(LocalWhisperSimulation, ARecordingInWhispersFormIsUploadedToTheServerAsItIs) {
    editor_->convertLikeAUserFile = false;
    installServer();
    const fs::path recording = dictate();
    settle();
    EXPECT_EQ(only(), "text: hello world");
    EXPECT_TRUE(launcher_->launchesOf("ffmpeg").empty());
    ASSERT_EQ(requestsTo("POST"), 1u);
    EXPECT_NE(http_->requests().back().body.find("Content-Type: audio/wav\r\n\r\nrecorded audio\r\n"), std::string::npos);
    EXPECT_FALSE(ScratchFolder::exists(recording));
}

TEST_F(LocalWhisperSimulation, LanguageCodeOnTheCommandLine) {
    for (const auto& [locale, language] : std::vector<std::pair<std::string, std::optional<std::string>>>{
             {"nb_NO", "no"}, {"de_DE", "de"}, {"tlh", "auto"}}) {
        dictate(locale);
        settle();
        const auto cli = launcher_->launchesOf("whisper-cli");
        ASSERT_FALSE(cli.empty());
        const auto& arguments = cli.back().launchSpec.arguments;
        EXPECT_EQ(argumentAfter(arguments, "-l"), language.value_or("")) << locale;
        EXPECT_EQ(std::count(arguments.begin(), arguments.end(), "-l"), 1) << locale;
        EXPECT_EQ(argumentAfter(arguments, "-m"), model("ggml-base.bin").string()) << locale;
    }
}

TEST_F(LocalWhisperSimulation, FailureTable) {
    struct Case {
        const char* name;
        std::function<void(LocalWhisperSimulation&)> arrange;
        std::string outcome;
        bool recordingKept;
    };
    const std::vector<Case> cases{
        {"installation gone before transcription",
         [](auto& t) { fs::remove(t.model("ggml-base.en.bin")); fs::remove(t.model("ggml-base.bin")); },
         "error: Local Whisper has no model yet: download base.en in Home, or run tavlo models download base.en.",
         true},
        {"ffmpeg gone at conversion",
         [](auto& t) {
             t.locationLookups_ = 0;
             t.lookupOverride_ = [&t](int lookup) {
                 auto locations = t.locations_;
                 if (lookup > 1) locations.ffmpegCandidates.clear();
                 return locations;
             };
         },
         "error: ffmpeg is required for Local Whisper fast mode.", true},
        {"ffmpeg cannot be launched", [](auto& t) { t.world_.ffmpegLaunchError = "Could not start ffmpeg: Permission denied"; },
         "error: Could not start ffmpeg: Permission denied", false},
        {"ffmpeg fails with a message",
         [](auto& t) { t.world_.ffmpegStatus = 1; t.world_.ffmpegError = "  Invalid data found when processing input\n"; },
         "error: The file could not be read as audio or video (Invalid data found when processing input).", false},
        {"ffmpeg fails silently", [](auto& t) { t.world_.ffmpegStatus = 1; },
         "error: Local Whisper transcription failed.", false},
        {"whisper-cli fails",
         [](auto& t) { t.world_.cliStatus = 3; t.world_.cliError = "error: failed to process audio\n"; },
         "error: error: failed to process audio", false},
        {"no text file: standard output is used",
         [](auto& t) { t.world_.cliText.reset(); t.world_.cliStdout = "\n Spoken  words"; },
         "text: Spoken words", false},
        {"text file not UTF-8: standard output is used",
         [](auto& t) { t.world_.cliText = "\xff\xfe"; t.world_.cliStdout = "\n From stdout"; },
         "text: From stdout", false},
        {"only silence", [](auto& t) { t.world_.cliText = " [BLANK_AUDIO]\n"; }, "text: ", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LocalWhisperSimulation& t = *this;
        t.world_ = World{};
        t.lookupOverride_ = nullptr;
        t.locationLookups_ = 0;
        t.finished_.clear();
        ScratchFolder::write(t.model("ggml-base.en.bin"), "model");
        ScratchFolder::write(t.model("ggml-base.bin"), "model");

        const fs::path recording = t.startDictation();
        c.arrange(t);
        t.engine_->stopAndCommit();
        t.settle();
        EXPECT_EQ(t.only(), c.outcome);
        EXPECT_EQ(ScratchFolder::exists(recording), c.recordingKept);
        const auto files = LocalWhisperWorkFiles::forAudio(recording);
        EXPECT_FALSE(ScratchFolder::exists(files.wav));
        EXPECT_FALSE(ScratchFolder::exists(files.outputText));
        EXPECT_EQ(t.transcriber_->sessionProcess(), nullptr);
        fs::remove(recording);
    }
}

// Dictation and file transcription refuse to start with the same reason,
// and nothing is recorded or launched for them.
TEST_F(LocalWhisperSimulation, AnInstallationThatCannotServeTheLanguageIsRefusedWithTheReason) {
    struct Case {
        const char* name;
        std::function<void(LocalWhisperSimulation&)> arrange;
        const char* language;
        std::string message;
    };
    const std::vector<Case> cases{
        {"German with only an English model", [](auto& t) { fs::remove(t.model("ggml-base.bin")); }, "de_DE",
         "German needs a multilingual Whisper model: download base in Home, or run tavlo models download base."},
        {"no model at all",
         [](auto& t) {
             fs::remove(t.model("ggml-base.bin"));
             fs::remove(t.model("ggml-base.en.bin"));
         },
         "en_US", "Local Whisper has no model yet: download base.en in Home, or run tavlo models download base.en."},
        {"no whisper.cpp program", [](auto& t) { fs::remove(t.locations_.whisperCliCandidates[0]); }, "it_IT",
         "Local Whisper needs whisper.cpp: install its whisper-server or whisper-cli program (the README shows how)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LocalWhisperSimulation& t = *this;
        ScratchFolder::makeExecutable(t.locations_.whisperCliCandidates[0]);
        ScratchFolder::write(t.model("ggml-base.en.bin"), "model");
        ScratchFolder::write(t.model("ggml-base.bin"), "model");
        c.arrange(t);
        EXPECT_EQ(t.engine_->localWhisperUnavailability(c.language),
                  DictationEngineError::localWhisperUnavailable(c.message));

        DictationStartOptions options;
        options.model = SpeechModel::localWhisper;
        options.languageIdentifier = c.language;
        try {
            t.engine_->start(options);
            ADD_FAILURE() << "dictation started";
        } catch (const DictationEngineError& error) {
            EXPECT_EQ(error.errorDescription(), c.message);
        }
        const fs::path source = t.scratch_.path() / "memo.m4a";
        ScratchFolder::write(source, "audio");
        try {
            t.engine_->transcribeFile(source, SpeechModel::localWhisper, c.language, std::nullopt,
                                      OpenAICloudMode::service, std::nullopt);
            ADD_FAILURE() << "file transcription started";
        } catch (const DictationEngineError& error) {
            EXPECT_EQ(error.errorDescription(), c.message);
        }
        t.settle();
        EXPECT_TRUE(t.finished_.empty());
        EXPECT_EQ(t.audioFiles_->latestFile(), nullptr);
        EXPECT_TRUE(t.launcher_->launches().empty());
    }
}

TEST_F(LocalWhisperSimulation, NoRecordingMeansNotInstalled) {
    editor_->edit = [](DelayedTranscriptionJob& job) { job.audioFile.reset(); };
    dictate();
    settle();
    ASSERT_EQ(finished_.size(), 1u);
    EXPECT_EQ(finished_[0], DictationResult::failure(DictationEngineError::localWhisperUnavailable()));
    EXPECT_TRUE(launcher_->launches().empty());
}

TEST_F(LocalWhisperSimulation, CancelTerminatesTheConversionAndTheLateEndChangesNothing) {
    const fs::path recording = dictate();
    queue_->advanceBy(50ms);
    const auto ffmpeg = launcher_->launches().at(0).process;
    engine_->cancel();
    EXPECT_TRUE(ffmpeg->wasTerminated());
    EXPECT_EQ(transcriber_->sessionProcess(), nullptr);

    queue_->advanceBy(5s);
    EXPECT_EQ(finished_, std::vector{DictationResult::success("")}) << "only the cancel's own empty result";
    EXPECT_TRUE(launcher_->launchesOf("whisper-cli").empty());
    EXPECT_FALSE(ScratchFolder::exists(recording)) << "an abandoned recording is removed";
}

TEST_F(LocalWhisperSimulation, ASupersededCommandLineRunFinishesNothingButRemovesItsFiles) {
    world_.cliText = " First.\n";
    const fs::path first = dictate();
    queue_->advanceBy(200ms);  // the command line is running
    ASSERT_EQ(launcher_->launchesOf("whisper-cli").size(), 1u);
    world_.cliText = " Second.\n";
    const fs::path second = dictate();  // a new session takes over
    settle();
    EXPECT_EQ(only(), "text: Second.");
    queue_->advanceBy(5s);
    EXPECT_EQ(finished_.size(), 1u);
    EXPECT_FALSE(ScratchFolder::exists(first));
    EXPECT_FALSE(ScratchFolder::exists(second));
}

TEST_F(LocalWhisperSimulation, NothingHappensOnceTheEngineIsGone) {
    dictate();
    engine_.reset();
    queue_->advanceBy(10s);
    EXPECT_TRUE(finished_.empty());
    EXPECT_TRUE(launcher_->launchesOf("whisper-cli").empty());
}

// ---- the warm server ----

TEST_F(LocalWhisperSimulation, ServerIsPreferredStartedWaitedForAndAsked) {
    installServer();
    const fs::path recording = dictate();
    settle();
    EXPECT_EQ(only(), "text: hello world");
    EXPECT_TRUE(launcher_->launchesOf("whisper-cli").empty());

    const auto servers = launcher_->launchesOf("whisper-server");
    ASSERT_EQ(servers.size(), 1u);
    EXPECT_EQ(servers[0].launchSpec.arguments, whisperServerArguments(model("ggml-base.en.bin"), 18131, 6, "en"));
    const fs::path log = scratch_.path() / "tmp/SorvelWhisper/whisper-server.log";
    EXPECT_EQ(servers[0].launchSpec.standardOutput.path, log.string());
    EXPECT_EQ(servers[0].launchSpec.standardError.path, log.string());
    EXPECT_TRUE(servers[0].launchSpec.endsWithProgram);
    EXPECT_EQ(servers[0].launchSpec.environmentOverrides, whisperChildEnvironment(locations_.homeDirectory));

    // Probes until the model was loaded (1 s), then the upload.
    EXPECT_GE(requestsTo("GET"), 8u);
    ASSERT_EQ(requestsTo("POST"), 1u);
    const HttpRequest& upload = http_->requests().back();
    EXPECT_EQ(upload.url, "http://127.0.0.1:18131/inference");
    // A few bytes of audio: the minute every inference gets, nothing on top.
    EXPECT_EQ(upload.timeoutSeconds, 60.0);
    EXPECT_EQ(upload.headers[0].first, "Content-Type");
    EXPECT_EQ(upload.headers[0].second.rfind("multipart/form-data; boundary=SorvelBoundary-", 0), 0u);
    EXPECT_EQ(upload.headers[0].second.size(), std::string("multipart/form-data; boundary=SorvelBoundary-").size() + 36);
    EXPECT_NE(upload.body.find("filename=\"audio.wav\"\r\nContent-Type: audio/wav\r\n\r\nRIFF wav\r\n"), std::string::npos);
    for (const auto& request : http_->requests()) {
        if (request.method == "GET") {
            EXPECT_EQ(request.timeoutSeconds, 0.35);
        }
    }

    const auto files = LocalWhisperWorkFiles::forAudio(recording);
    for (const auto& file : {files.audio, files.wav}) EXPECT_FALSE(ScratchFolder::exists(file));
    EXPECT_EQ(transcriber_->requestTask(), nullptr);
}

TEST_F(LocalWhisperSimulation, SecondDictationReusesTheServerWithOneProbe) {
    installServer();
    dictate();
    settle();
    const std::size_t gets = requestsTo("GET");

    dictate();
    settle();
    EXPECT_EQ(finished_.size(), 2u);
    EXPECT_EQ(launcher_->launchesOf("whisper-server").size(), 1u);
    EXPECT_EQ(requestsTo("GET"), gets + 1);
    EXPECT_EQ(requestsTo("POST"), 2u);
}

TEST_F(LocalWhisperSimulation, ChangingTheLanguageReplacesTheServer) {
    installServer();
    dictate("en_US");
    settle();
    dictate("de_DE");
    settle();
    dictate("tlh");
    settle();

    const auto servers = launcher_->launchesOf("whisper-server");
    ASSERT_EQ(servers.size(), 3u);
    EXPECT_EQ(argumentAfter(servers[1].launchSpec.arguments, "-l"), "de");
    EXPECT_EQ(argumentAfter(servers[1].launchSpec.arguments, "-m"), model("ggml-base.bin").string());
    EXPECT_EQ(argumentAfter(servers[2].launchSpec.arguments, "-l"), "auto");
    EXPECT_TRUE(servers[0].process->wasTerminated());
    EXPECT_TRUE(servers[1].process->wasTerminated());
    EXPECT_TRUE(servers[2].process->isRunning());
    ASSERT_EQ(finished_.size(), 3u);
    for (const auto& done : finished_) EXPECT_TRUE(done.isSuccess());
}

TEST_F(LocalWhisperSimulation, AServerAlreadyListeningIsAdoptedAndNeverStopped) {
    installServer();
    world_.foreignServer = SimHttpClient::Reply::status(404, "not found");
    dictate();
    settle();
    EXPECT_EQ(only(), "text: hello world");
    EXPECT_TRUE(launcher_->launchesOf("whisper-server").empty());
    EXPECT_EQ(transcriber_->server().languageCode(), "en");

    // Without a process of ours, the next dictation probes again.
    dictate();
    settle();
    EXPECT_EQ(requestsTo("GET"), 2u);
    EXPECT_EQ(requestsTo("POST"), 2u);
    transcriber_->shutdown();
    EXPECT_TRUE(launcher_->launchesOf("whisper-server").empty());
}

TEST_F(LocalWhisperSimulation, AServerOfAnotherUserIsNeverGivenTheRecording) {
    installServer();
    world_.foreignServer = SimHttpClient::Reply::status(404, "not found");
    foreignServerIsAnotherUsers_ = true;
    const fs::path recording = dictate();
    settle();
    EXPECT_EQ(only(),
              "error: Another user's program is listening on the local Whisper server's port 18131; your recordings "
              "are not sent to it.");
    EXPECT_EQ(requestsTo("POST"), 0u);
    EXPECT_TRUE(launcher_->launchesOf("whisper-server").empty());
    EXPECT_FALSE(ScratchFolder::exists(recording));
}

TEST_F(LocalWhisperSimulation, ProbeCountsOnlyStatusesUpTo499WithinItsLimits) {
    installServer();
    struct Case {
        const char* name;
        SimHttpClient::Reply reply;
        bool adopted;
    };
    const std::vector<Case> cases{
        {"200", SimHttpClient::Reply::status(200), true},
        {"499", SimHttpClient::Reply::status(499), true},
        {"500 is no answer", SimHttpClient::Reply::status(500), false},
        {"too slow for the request time limit", SimHttpClient::Reply::status(200, "", 400ms), false},
        {"silence", SimHttpClient::Reply::silence(), false},
    };
    for (const auto& c : cases) {
        world_.foreignServer = c.reply;
        std::optional<bool> answered;
        auto server = WarmWhisperServer::create({queue_, launcher_, http_, [this] { return locations_; },
                                                 scratch_.path(), 4, 18131, nullptr});
        server->probe("http://127.0.0.1:18131/", [&](bool up) { answered = up; });
        queue_->advanceBy(1s);
        ASSERT_TRUE(answered) << c.name;
        EXPECT_EQ(*answered, c.adopted) << c.name;
    }
}

TEST_F(LocalWhisperSimulation, AServerThatExitsDuringStartUpSaysSoAtOnce) {
    installServer();
    world_.serverExitsAfter = 300ms;
    const auto started = queue_->now();
    const fs::path recording = dictate();
    settle();
    EXPECT_EQ(only(), "error: Local Whisper server exited before it was ready.");
    EXPECT_LT(queue_->now() - started, 1s) << "no need to run through all 48 attempts";
    EXPECT_FALSE(ScratchFolder::exists(recording));
}

TEST_F(LocalWhisperSimulation, AServerThatNeverAnswersIsGivenUpAfter48Attempts) {
    struct Case {
        const char* name;
        std::optional<SimHttpClient::Reply> port;
        Duration expected;  // 48 attempts, each a probe then a pause of 0.125 s
    };
    const std::vector<Case> cases{
        {"refused at once", std::nullopt, 48 * 125ms},
        // The first probe looks for a server to adopt; each then waits out the request's time limit.
        {"every probe runs into its time limit", SimHttpClient::Reply::silence(), 350ms + 48 * (350ms + 125ms)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        world_.serverLoadTime = 24h;
        installServer();
        finished_.clear();
        http_->setServer([&](const HttpRequest&) { return c.port.value_or(SimHttpClient::Reply::connectionRefused()); });
        const auto started = queue_->now();
        dictate();
        settle(120s);
        EXPECT_EQ(only(), "error: Local Whisper server did not become ready.");
        const auto took = queue_->now() - started - 150ms;  // less the conversion
        EXPECT_GE(took, c.expected);
        EXPECT_LT(took, c.expected + 20ms);
        transcriber_->shutdown();
    }
    http_->setServer(nullptr);
}

TEST_F(LocalWhisperSimulation, ReplyCases) {
    installServer();
    struct Case {
        const char* name;
        SimHttpClient::Reply reply;
        std::string outcome;
    };
    const std::vector<Case> cases{
        {"JSON text", SimHttpClient::Reply::status(200, "{\"text\":\" hello world\\n\"}"), "text: hello world"},
        {"not JSON: the body", SimHttpClient::Reply::status(200, " Plain [BLANK_AUDIO] reply\n"), "text: Plain reply"},
        {"server error", SimHttpClient::Reply::status(500, "model not loaded"), "error: model not loaded"},
        {"server error without text", SimHttpClient::Reply::status(500, ""), "error: Local Whisper transcription failed."},
        {"transport failure",
         SimHttpClient::Reply::failure(HttpTransportError::Kind::connectionLost, "The network connection was lost."),
         "error: The local Whisper server closed the connection."},
    };
    for (const auto& c : cases) {
        finished_.clear();
        world_.inferenceReply = c.reply;
        const fs::path recording = dictate();
        settle();
        EXPECT_EQ(only(), c.outcome) << c.name;
        EXPECT_FALSE(ScratchFolder::exists(recording)) << c.name;
    }
    // Only the lost connection restarted the server (once, then failed again).
    EXPECT_EQ(launcher_->launchesOf("whisper-server").size(), 2u);
}

TEST_F(LocalWhisperSimulation, AStaleSessionsLateReplyIsIgnoredButItsFilesAreRemoved) {
    installServer();
    world_.inferenceReply = SimHttpClient::Reply::status(200, "{\"text\":\"late\"}", 3s);
    const fs::path first = dictate();
    for (int i = 0; i < 600 && requestsTo("POST") == 0; ++i) queue_->advanceBy(10ms);
    ASSERT_EQ(requestsTo("POST"), 1u);

    startDictation();  // a new dictation supersedes the first; its upload keeps running
    queue_->advanceBy(5s);
    EXPECT_TRUE(finished_.empty());
    EXPECT_FALSE(ScratchFolder::exists(first));
    EXPECT_FALSE(ScratchFolder::exists(LocalWhisperWorkFiles::forAudio(first).wav));
}

TEST_F(LocalWhisperSimulation, CancelCancelsTheUploadAndLeavesTheServerRunning) {
    installServer();
    world_.inferenceReply = SimHttpClient::Reply::status(200, "{\"text\":\"late\"}", 3s);
    const fs::path recording = dictate();
    for (int i = 0; i < 600 && requestsTo("POST") == 0; ++i) queue_->advanceBy(10ms);
    ASSERT_NE(transcriber_->requestTask(), nullptr);

    engine_->cancel();
    EXPECT_EQ(transcriber_->requestTask(), nullptr);
    queue_->advanceBy(5s);
    EXPECT_EQ(http_->cancelledCount(), 1u);
    EXPECT_EQ(finished_, std::vector{DictationResult::success("")});
    EXPECT_FALSE(ScratchFolder::exists(recording));
    EXPECT_TRUE(launcher_->launchesOf("whisper-server").at(0).process->isRunning());
}

TEST_F(LocalWhisperSimulation, ASessionAbandonedWhileTheServerStartsRemovesItsFiles) {
    installServer();
    const fs::path recording = dictate();
    queue_->advanceBy(300ms);  // converted; the server is loading
    engine_->cancel();
    queue_->advanceBy(5s);
    EXPECT_EQ(finished_, std::vector{DictationResult::success("")});
    EXPECT_EQ(requestsTo("POST"), 0u);
    EXPECT_FALSE(ScratchFolder::exists(recording));
}

TEST_F(LocalWhisperSimulation, PreparingStartsTheServerOnceEvenWhenADictationFollowsAtOnce) {
    installServer();
    transcriber_->prepareLocalWhisper("en_US");
    transcriber_->prepareLocalWhisper("en_US");
    dictate();
    settle();
    EXPECT_EQ(only(), "text: hello world");
    EXPECT_EQ(launcher_->launchesOf("whisper-server").size(), 1u);
}

TEST_F(LocalWhisperSimulation, PreparingDoesNothingWithoutAServer) {
    transcriber_->prepareLocalWhisper("en_US");
    queue_->advanceBy(10s);
    EXPECT_TRUE(launcher_->launches().empty());
    EXPECT_TRUE(http_->requests().empty());
}

TEST_F(LocalWhisperSimulation, AServerThatCannotBeLaunchedReportsTheLaunchError) {
    installServer();
    world_.serverLaunchError = "Could not start whisper-server: Exec format error";
    dictate();
    settle();
    EXPECT_EQ(only(), "error: Could not start whisper-server: Exec format error");
}

TEST_F(LocalWhisperSimulation, AServerThatDiedBetweenDictationsIsStartedAgain) {
    installServer();
    dictate();
    settle();
    launcher_->launchesOf("whisper-server").at(0).process->exit(1);
    queue_->runUntilIdle();
    dictate();
    settle();
    EXPECT_EQ(finished_.size(), 2u);
    EXPECT_TRUE(finished_.back().isSuccess());
    EXPECT_EQ(launcher_->launchesOf("whisper-server").size(), 2u);
}

TEST_F(LocalWhisperSimulation, AServerLostDuringTheRequestIsStartedAgainOnceAndAskedAgain) {
    installServer();
    world_.serverCrashesOnInference = 1;
    const fs::path recording = dictate();
    settle();
    EXPECT_EQ(only(), "text: hello world");
    EXPECT_EQ(launcher_->launchesOf("whisper-server").size(), 2u);
    EXPECT_EQ(requestsTo("POST"), 2u);
    EXPECT_FALSE(ScratchFolder::exists(recording));
}

TEST_F(LocalWhisperSimulation, AServerLostAgainAfterItsRestartFailsTheDictation) {
    installServer();
    world_.serverCrashesOnInference = 2;
    const fs::path recording = dictate();
    settle();
    EXPECT_EQ(only(), "error: The local Whisper server closed the connection.");
    EXPECT_EQ(launcher_->launchesOf("whisper-server").size(), 2u) << "one restart only";
    EXPECT_EQ(requestsTo("POST"), 2u);
    EXPECT_FALSE(ScratchFolder::exists(recording));
}

TEST_F(LocalWhisperSimulation, AnErrorAnsweredByTheServerIsNoLostServer) {
    installServer();
    world_.inferenceReply = SimHttpClient::Reply::status(500, "{\"error\":\"failed to decode\"}");
    dictate();
    settle();
    EXPECT_EQ(only(), "error: failed to decode");
    EXPECT_EQ(launcher_->launchesOf("whisper-server").size(), 1u);
}

TEST_F(LocalWhisperSimulation, ShutdownStopsTheServerWeStarted) {
    installServer();
    dictate();
    settle();
    const auto server = launcher_->launchesOf("whisper-server").at(0).process;
    transcriber_->shutdown();
    EXPECT_TRUE(server->wasTerminated());
    EXPECT_EQ(transcriber_->server().process(), nullptr);
    EXPECT_EQ(transcriber_->server().model(), std::nullopt);
    EXPECT_EQ(transcriber_->server().languageCode(), std::nullopt);
    EXPECT_EQ(transcriber_->server().logFile(), std::nullopt);
}

TEST_F(LocalWhisperSimulation, NoServerIsStartedAfterShutdownEvenByAWaitStillRunning) {
    installServer();
    transcriber_->prepareLocalWhisper("en_US");  // starts the server; it loads for a second
    queue_->advanceBy(200ms);
    dictate();  // waits for the same server
    queue_->advanceBy(200ms);
    engine_->shutdown();
    queue_->advanceBy(10s);
    EXPECT_EQ(launcher_->launchesOf("whisper-server").size(), 1u);
    EXPECT_EQ(transcriber_->server().process(), nullptr);
}

}  // namespace
}  // namespace tavlo
