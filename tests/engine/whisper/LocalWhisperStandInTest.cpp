// Local Whisper for real: the engine records (a speech file made with
// espeak-ng stands in for the microphone) in the form Whisper reads, and
// stand-ins for whisper-cli and whisper-server, started as real child
// processes and reached over real HTTP, answer the way the real tools do.
#include <gtest/gtest.h>

#include "harness/FreeLoopbackPort.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "engine/session/DelayedBackEnds.h"
#include "engine/DictationEngine.h"
#include "engine/whisper/LocalWhisperTranscriber.h"
#include "harness/BackgroundProgram.h"
#include "harness/PumpedMainQueue.h"
#include "harness/RunProgram.h"
#include "platform/linux/http/CurlHttpClient.h"
#include "platform/linux/process/PosixProcessLauncher.h"
#include "platform/sim/SimAudioCapture.h"
#include "platform/sim/SimAudioFileWriter.h"
#include "platform/sim/SimSpeechRecognizerService.h"
#include "platform/sim/SimTemporaryFiles.h"
#include "engine/whisper/WhisperTestFiles.h"

namespace tavlo {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::ScratchFolder;

const std::string kStandIns = TAVLO_STANDIN_DIR;

using tavlo::testing::freeLoopbackPort;

std::vector<json> jsonLines(const fs::path& file) {
    std::vector<json> lines;
    std::istringstream in(ScratchFolder::read(file));
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(json::parse(line));
    return lines;
}

std::string argumentAfter(const json& arguments, const std::string& option) {
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i)
        if (arguments[i] == option) return arguments[i + 1];
    return {};
}

// Real audio for the whole suite: speech, silence and something that is not audio.
class Recordings {
public:
    Recordings() {
        const fs::path wav = folder_.path() / "speech.wav";
        run("/usr/bin/espeak-ng", {"-w", wav.string(), "hello world, this is a dictation test"});
        // The engine records 16 kHz mono 16-bit WAVE; ffmpeg makes the same from the speech.
        run("/usr/bin/ffmpeg", {"-y", "-loglevel", "error", "-i", wav.string(), "-ar", "16000", "-ac", "1", "-c:a",
                                "pcm_s16le", speech().string()});
        run("/usr/bin/sox", {"-n", "-r", "16000", "-c", "1", "-b", "16", silence().string(), "trim", "0", "1.5"});
        ScratchFolder::write(garbage(), "this is not audio at all");
    }
    fs::path speech() const { return folder_.path() / "recorded-speech.wav"; }
    fs::path silence() const { return folder_.path() / "recorded-silence.wav"; }
    fs::path garbage() const { return folder_.path() / "garbage.wav"; }

private:
    static void run(const std::string& program, const std::vector<std::string>& args) {
        const auto result = testing::runProgram(program, args);
        if (result.status != 0) ADD_FAILURE() << program << " failed: " << result.err;
    }
    ScratchFolder folder_;
};

class LocalWhisperStandIns : public ::testing::Test {
protected:
    static void SetUpTestSuite() { recordings_ = new Recordings; }
    static void TearDownTestSuite() {
        delete recordings_;
        recordings_ = nullptr;
    }

    LocalWhisperStandIns() {
        locations_.homeDirectory = scratch_.path() / "home";
        locations_.whisperServerCandidates = {bin() / "whisper-server"};
        locations_.whisperCliCandidates = {bin() / "whisper-cli"};
        locations_.ffmpegCandidates = {"/usr/bin/ffmpeg"};
        setModel("ggml-base.en.bin", "segment= Hello from the stand-in.\nsegment= Second segment.\n");
    }

    ~LocalWhisperStandIns() override {
        if (engine_) engine_->shutdown();
        engine_.reset();
    }

    fs::path bin() const { return scratch_.path() / "bin dir"; }
    fs::path model(const std::string& name) const { return locations_.homeDirectory / ".cache/whisper.cpp" / name; }
    void setModel(const std::string& name, const std::string& script) { ScratchFolder::write(model(name), script); }
    void install(const char* tool) {
        fs::create_directories(bin());
        fs::create_symlink(kStandIns + "/" + tool, bin() / tool);
    }
    std::vector<json> calls(const std::string& modelName) const { return jsonLines(model(modelName).string() + ".calls"); }
    // The stand-in server records when it listens and each SIGTERM it gets.
    std::vector<json> serverEvents(const std::string& modelName) const {
        return jsonLines(model(modelName).string() + ".events");
    }
    // A child's end posts nothing to the queue: watch it directly.
    static bool waitForExit(const std::shared_ptr<ChildProcess>& process) {
        for (int i = 0; i < 1000 && process->isRunning(); ++i) ::usleep(10000);
        return !process->isRunning();
    }
    bool waitUntilListening(const std::string& modelName) const {
        for (int i = 0; i < 300; ++i) {
            for (const auto& event : serverEvents(modelName))
                if (event.contains("listening")) return true;
            ::usleep(20000);
        }
        return false;
    }
    std::vector<json> requests(const std::string& modelName) const {
        return jsonLines(model(modelName).string() + ".requests");
    }

    void makeEngine() {
        LocalWhisperSettings settings;
        settings.mainQueue = queue_;
        settings.processLauncher = launcher_;
        settings.httpClient = http_;
        settings.searchLocations = [locations = locations_] { return locations; };
        settings.temporaryDirectory = temporary_->temporaryDirectory();
        settings.serverPort = port_;
        transcriber_ = LocalWhisperTranscriber::create(settings);
        engine_ = DictationEngine::create({queue_, std::make_shared<SimSpeechRecognizerService>(),
                                           std::make_shared<SimAudioCapture>(), audioFiles_, temporary_,
                                           std::make_shared<DelayedBackEnds>(transcriber_), "en_US"});
        engine_->onComplete = [this](const DictationResult& result) { results_.push_back(result); };
    }

    // One dictation: the engine records, the "microphone" is the given audio file.
    fs::path dictate(const fs::path& audio, const std::string& language = "en_US") {
        if (!engine_) makeEngine();
        DictationStartOptions options;
        options.model = SpeechModel::localWhisper;
        options.languageIdentifier = language;
        engine_->start(options);
        const fs::path recording = audioFiles_->latestFile()->path();
        fs::create_directories(recording.parent_path());
        fs::copy_file(audio, recording);
        const std::size_t before = results_.size();
        engine_->stopAndCommit();
        EXPECT_TRUE(queue_->runUntil([&] { return results_.size() > before; })) << "no result";
        return recording;
    }

    std::string lastOutcome() const {
        if (results_.empty()) return "<nothing>";
        const auto& result = results_.back();
        return result.isSuccess() ? "text: " + result.text() : "error: " + errorDescription(result.error());
    }

    static void expectWorkFilesRemoved(const fs::path& recording) {
        const auto files = LocalWhisperWorkFiles::forAudio(recording);
        for (const auto& file : {files.audio, files.wav, files.outputText})
            EXPECT_FALSE(ScratchFolder::exists(file)) << file;
    }

    static inline Recordings* recordings_ = nullptr;
    ScratchFolder scratch_;
    WhisperSearchLocations locations_;
    int port_ = freeLoopbackPort();
    std::shared_ptr<testing::PumpedMainQueue> queue_ = std::make_shared<testing::PumpedMainQueue>();
    std::shared_ptr<PosixProcessLauncher> launcher_ = std::make_shared<PosixProcessLauncher>();
    std::shared_ptr<CurlHttpClient> http_ = std::make_shared<CurlHttpClient>();
    // A work folder whose name has a space and a non-ASCII letter.
    // Real folders and copies, so a file the user transcribes reaches ffmpeg.
    struct RealTemporaryFiles : TemporaryFiles {
        explicit RealTemporaryFiles(fs::path directory) : directory_(std::move(directory)) {}
        fs::path temporaryDirectory() const override { return directory_; }
        void createDirectories(const fs::path& folder) override { fs::create_directories(folder); }
        void copyFile(const fs::path& from, const fs::path& to) override { fs::copy_file(from, to); }
        void removeFile(const fs::path& file) noexcept override {
            std::error_code ignored;
            fs::remove(file, ignored);
        }
        fs::path directory_;
    };
    std::shared_ptr<TemporaryFiles> temporary_ =
        std::make_shared<RealTemporaryFiles>(scratch_.path() / "tmp dir ü");
    std::shared_ptr<SimAudioFileWriter> audioFiles_ = std::make_shared<SimAudioFileWriter>();
    std::shared_ptr<LocalWhisperTranscriber> transcriber_;
    std::shared_ptr<DictationEngine> engine_;
    std::vector<DictationResult> results_;
};

TEST_F(LocalWhisperStandIns, CommandLineTranscribesARealRecording) {
    install("whisper-cli");
    const fs::path recording = dictate(recordings_->speech());
    EXPECT_EQ(lastOutcome(), "text: Hello from the stand-in. Second segment.");

    const auto runs = calls("ggml-base.en.bin");
    ASSERT_EQ(runs.size(), 1u);
    const auto files = LocalWhisperWorkFiles::forAudio(recording);
    EXPECT_EQ(argumentAfter(runs[0]["args"], "-f"), recording.string());  // read as it was recorded
    EXPECT_EQ(argumentAfter(runs[0]["args"], "-of"), files.outputBase.string());
    EXPECT_EQ(argumentAfter(runs[0]["args"], "-l"), "en");
    expectWorkFilesRemoved(recording);
}

// Whisper has no code for Klingon: the tools detect the language rather than
// decode the German speech as English.
TEST_F(LocalWhisperStandIns, ALanguageWhisperDoesNotKnowIsDetected) {
    setModel("ggml-base.bin", "spoken=de\nsegment= Hallo Welt.\n");
    install("whisper-cli");
    dictate(recordings_->speech(), "tlh");
    EXPECT_EQ(lastOutcome(), "text: Hallo Welt.");
    EXPECT_EQ(argumentAfter(calls("ggml-base.bin").back()["args"], "-l"), "auto");

    install("whisper-server");
    dictate(recordings_->speech(), "tlh");
    EXPECT_EQ(lastOutcome(), "text: Hallo Welt.");
    EXPECT_EQ(calls("ggml-base.bin").back()["program"], "whisper-server");
}

// whisper-cli's stderr holds progress and usage lines around the error.
TEST_F(LocalWhisperStandIns, CommandLineFailuresShowOnlyTheErrorLines) {
    install("whisper-cli");
    setModel("ggml-base.en.bin", "cli_exit=10\ncli_stderr=error: failed to process audio\n");
    dictate(recordings_->speech());
    EXPECT_EQ(lastOutcome(), "error: error: failed to process audio");
}

TEST_F(LocalWhisperStandIns, AFailedServerInferenceShowsTheServersWords) {
    install("whisper-server");
    setModel("ggml-base.en.bin", "inference_fails=1\n");
    dictate(recordings_->speech());
    EXPECT_EQ(lastOutcome(), "error: failed to process audio");
}

TEST_F(LocalWhisperStandIns, SilenceGivesAnEmptyTranscript) {
    install("whisper-cli");
    const fs::path recording = dictate(recordings_->silence());
    EXPECT_EQ(lastOutcome(), "text: ");
    expectWorkFilesRemoved(recording);
}

// A recording that is not audio reaches Whisper unconverted: whisper-cli
// says so on its error output but exits normally with no text, and the
// server's refusal reads the same way: no text.
TEST_F(LocalWhisperStandIns, AnUndecodableRecordingGivesNoText) {
    install("whisper-cli");
    const fs::path byCommandLine = dictate(recordings_->garbage());
    EXPECT_EQ(lastOutcome(), "text: ");
    expectWorkFilesRemoved(byCommandLine);
    install("whisper-server");
    const fs::path byServer = dictate(recordings_->garbage());
    EXPECT_EQ(lastOutcome(), "text: ");
    expectWorkFilesRemoved(byServer);
}

// The recording is already in Whisper's form: an ffmpeg that notes each
// call (and would fail) is never run, whichever tool transcribes.
TEST_F(LocalWhisperStandIns, DictationsReachWhisperWithoutFfmpeg) {
    const fs::path ffmpegCalls = scratch_.path() / "ffmpeg.calls";
    const fs::path ffmpeg = scratch_.path() / "noting ffmpeg";
    ScratchFolder::write(ffmpeg, "#!/bin/sh\necho \"$@\" >> '" + ffmpegCalls.string() + "'\nexit 1\n");
    fs::permissions(ffmpeg, fs::perms::owner_all);
    locations_.ffmpegCandidates = {ffmpeg};
    install("whisper-cli");
    dictate(recordings_->speech());
    EXPECT_EQ(lastOutcome(), "text: Hello from the stand-in. Second segment.");
    install("whisper-server");
    dictate(recordings_->speech());
    EXPECT_EQ(lastOutcome(), "text: Hello from the stand-in. Second segment.");
    EXPECT_EQ(calls("ggml-base.en.bin").back()["program"], "whisper-server");
    EXPECT_FALSE(ScratchFolder::exists(ffmpegCalls)) << ScratchFolder::read(ffmpegCalls);
}

TEST_F(LocalWhisperStandIns, TheServerStartsOnceAndServesDictationAfterDictation) {
    install("whisper-cli");
    install("whisper-server");
    setModel("ggml-base.en.bin", "load_ms=700\nsegment= Hello from the server.\n");
    const fs::path first = dictate(recordings_->speech());
    EXPECT_EQ(lastOutcome(), "text: Hello from the server.");
    const std::size_t requestsAfterFirst = requests("ggml-base.en.bin").size();

    const fs::path second = dictate(recordings_->speech());
    EXPECT_EQ(lastOutcome(), "text: Hello from the server.");

    const auto launches = calls("ggml-base.en.bin");
    ASSERT_EQ(launches.size(), 1u) << "one server, and whisper-cli never ran";
    EXPECT_EQ(launches[0]["program"], "whisper-server");
    EXPECT_EQ(argumentAfter(launches[0]["args"], "--port"), std::to_string(port_));
    EXPECT_EQ(argumentAfter(launches[0]["args"], "-l"), "en");

    const auto served = requests("ggml-base.en.bin");
    ASSERT_EQ(served.size(), requestsAfterFirst + 2) << "one probe, then the upload";
    EXPECT_EQ(served[requestsAfterFirst]["method"], "GET");
    const json& upload = served.back();
    EXPECT_EQ(upload["path"], "/inference");
    EXPECT_EQ(upload["response_format"], "json");
    EXPECT_EQ(upload["temperature"], "0");
    EXPECT_EQ(upload["filename"], "audio.wav");
    EXPECT_EQ(upload["fileContentType"], "audio/wav");
    EXPECT_EQ(upload["hasExpect"], false);
    EXPECT_EQ(upload["contentType"].get<std::string>().rfind("multipart/form-data; boundary=SorvelBoundary-", 0), 0u);
    expectWorkFilesRemoved(first);
    expectWorkFilesRemoved(second);

    // The real server writes its log only when it ends.
    const auto server = transcriber_->server().process();
    engine_->shutdown();
    ASSERT_TRUE(waitForExit(server));
    const fs::path log = temporary_->temporaryDirectory() / "SorvelWhisper/whisper-server.log";
    EXPECT_NE(ScratchFolder::read(log).find("whisper server listening"), std::string::npos);
}

TEST_F(LocalWhisperStandIns, ChangingTheLanguageRestartsTheServer) {
    install("whisper-server");
    setModel("ggml-base.bin", "segment= Hallo Welt.\n");
    dictate(recordings_->speech(), "en_US");
    const auto english = transcriber_->server().process();
    ASSERT_TRUE(english);
    dictate(recordings_->speech(), "de_DE");
    EXPECT_EQ(lastOutcome(), "text: Hallo Welt.");

    const auto german = calls("ggml-base.bin");
    ASSERT_EQ(german.size(), 1u);
    EXPECT_EQ(argumentAfter(german[0]["args"], "-l"), "de");
    EXPECT_TRUE(queue_->runUntil([&] { return !english->isRunning(); })) << "the English server was stopped";
}

TEST_F(LocalWhisperStandIns, AServerAlreadyListeningIsAdoptedAndLeftRunning) {
    install("whisper-server");
    testing::BackgroundProgram running(kStandIns + "/whisper-server",
                                       {"-m", model("ggml-base.en.bin").string(), "--port", std::to_string(port_)});
    ASSERT_TRUE(waitUntilListening("ggml-base.en.bin"));

    dictate(recordings_->speech());
    EXPECT_EQ(lastOutcome(), "text: Hello from the stand-in. Second segment.");
    EXPECT_EQ(calls("ggml-base.en.bin").size(), 1u) << "only the test's own server";
    EXPECT_EQ(requests("ggml-base.en.bin").back()["path"], "/inference");

    engine_->shutdown();
    EXPECT_EQ(::kill(running.pid(), 0), 0) << "an adopted server is not ours to stop";
}

// The server's own words say why it ended; the message names the model file
// rather than whisper.cpp's internals.
TEST_F(LocalWhisperStandIns, AServerThatExitsWhileLoadingSaysWhy) {
    install("whisper-server");
    setModel("ggml-base.en.bin", "load_ms=200\nexit_during_load=1\n");
    const fs::path recording = dictate(recordings_->speech());
    EXPECT_EQ(lastOutcome(),
              "error: The Whisper model file " + model("ggml-base.en.bin").string() + " could not be loaded.");
    expectWorkFilesRemoved(recording);
}

// The server refuses audio it cannot decode; whisper-cli gives no text for
// it. Both paths agree: no text.
TEST_F(LocalWhisperStandIns, UndecodableAudioGivesNoTextOnBothPaths) {
    testing::BackgroundProgram running(kStandIns + "/whisper-server",
                                       {"-m", model("ggml-base.en.bin").string(), "--port", std::to_string(port_)});
    ASSERT_TRUE(waitUntilListening("ggml-base.en.bin"));
    const fs::path wav = scratch_.path() / "broken.wav";
    ScratchFolder::write(wav, "RIFF but nothing after it");

    auto server = WarmWhisperServer::create({queue_, launcher_, http_, [this] { return locations_; },
                                             scratch_.path(), 4, port_, nullptr});
    std::optional<std::variant<std::string, EngineError>> reply;
    server->postWav(whisperServerURL(port_), wav, [&](WarmWhisperServer::UploadReply r) { reply = r.result; });
    ASSERT_TRUE(queue_->runUntil([&] { return reply.has_value(); }));
    ASSERT_TRUE(std::holds_alternative<std::string>(*reply)) << errorDescription(std::get<EngineError>(*reply));
    EXPECT_EQ(std::get<std::string>(*reply), "");
}

// A model neither tool can load is named, in the same words on both paths.
TEST_F(LocalWhisperStandIns, AModelThatCannotBeLoadedIsNamedOnBothPaths) {
    setModel("ggml-base.en.bin", "");
    const std::string expected =
        "error: The Whisper model file " + model("ggml-base.en.bin").string() + " could not be loaded.";
    install("whisper-cli");
    dictate(recordings_->speech());
    EXPECT_EQ(lastOutcome(), expected);
    install("whisper-server");
    dictate(recordings_->speech());
    EXPECT_EQ(lastOutcome(), expected);
}

// A video without a sound track: a sentence about the file, not ffmpeg's
// words about streams or the private work copy's name.
TEST_F(LocalWhisperStandIns, AFileWithoutSoundSaysSo) {
    install("whisper-cli");
    const fs::path video = scratch_.path() / "silent video.mp4";
    const auto made = testing::runProgram("/usr/bin/ffmpeg", {"-y", "-loglevel", "error", "-f", "lavfi", "-i",
                                                             "color=c=black:s=32x32:d=1", "-an", video.string()});
    if (made.status != 0) GTEST_SKIP() << "ffmpeg cannot make a video here: " << made.err;
    // A file the user transcribes goes through ffmpeg; the program's own
    // recordings never do.
    if (!engine_) makeEngine();
    const std::size_t before = results_.size();
    engine_->transcribeFile(video, SpeechModel::localWhisper, "en_US", std::nullopt, OpenAICloudMode::apiKey,
                            std::nullopt);
    ASSERT_TRUE(queue_->runUntil([&] { return results_.size() > before; })) << "no result";
    EXPECT_EQ(lastOutcome(), "error: The file has no sound to transcribe.");
}

TEST_F(LocalWhisperStandIns, ShutdownStopsTheServerWeStarted) {
    install("whisper-server");
    dictate(recordings_->speech());
    const auto server = transcriber_->server().process();
    ASSERT_TRUE(server && server->isRunning());
    engine_->shutdown();
    EXPECT_TRUE(waitForExit(server));
}

// One SIGTERM, then SIGKILL when a slow graceful shutdown outlasts the grace:
// the real server takes a second SIGTERM as "abandon the graceful shutdown".
TEST_F(LocalWhisperStandIns, AServerIsStoppedWithOneSigtermThenKilled) {
    install("whisper-server");
    setModel("ggml-base.en.bin", "shutdown_ms=60000\nsegment= Hello.\n");
    dictate(recordings_->speech());
    const auto server = transcriber_->server().process();
    ASSERT_TRUE(server && server->isRunning());
    engine_->shutdown();
    engine_.reset();
    transcriber_.reset();
    launcher_.reset();  // waits for the children it started
    EXPECT_FALSE(server->isRunning());
    int sigterms = 0;
    for (const auto& event : serverEvents("ggml-base.en.bin")) sigterms += event.contains("sigterm");
    EXPECT_EQ(sigterms, 1);
}

}  // namespace
}  // namespace tavlo
