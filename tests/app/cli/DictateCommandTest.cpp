// `tavlo dictate` on the real executable, listening to the virtual microphone
// of a private sound server: the on-device recogniser, local Whisper through
// the stand-in whisper-cli with real ffmpeg, the cloud, failed transcriptions,
// a microphone unplugged while listening, Enter, the end of input, Ctrl+C,
// the list of microphones, and the refusals.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include "harness/ChildProcesses.h"
#include "harness/PulseAudioServer.h"
#include "harness/RunProgram.h"
#include "harness/ScriptedHttpServer.h"
#include "harness/TemporaryDirectory.h"

namespace tavlo::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The program running in the background with its standard input on a pipe
// the test writes to, like a user at a terminal that is not one, or with no
// standard input at all (`<&-` in a shell).
enum class Input { pipe, closed };

class RunningProgram {
public:
    // Standard output goes to `output` when given (a device, say).
    RunningProgram(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment,
                   const fs::path& output = {}, Input given = Input::pipe) {
        int input[2];
        if (::pipe2(input, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            if (given == Input::closed)
                ::close(0);
            else
                ::dup2(input[0], 0);
            auto redirect = [](const fs::path& path, int fd) {
                const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                if (file < 0 || ::dup2(file, fd) < 0) ::_exit(127);
                ::close(file);
            };
            redirect(output.empty() ? folder_.path() / "out" : output, 1);
            redirect(folder_.path() / "err", 2);
            for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
            std::vector<char*> args;
            for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        ::close(input[0]);
        input_ = input[1];
    }
    ~RunningProgram() {
        closeInput();
        if (pid_ > 0) stopProcess(pid_);
    }

    void send(const std::string& text) {
        if (input_ >= 0) [[maybe_unused]] auto written = ::write(input_, text.data(), text.size());
    }
    void closeInput() {
        if (input_ >= 0) ::close(input_);
        input_ = -1;
    }
    void interrupt() { ::kill(pid_, SIGINT); }

    // Waits for the end; a program still running after `limit` is killed and
    // reported with status -1.
    ProgramResult finish(std::chrono::milliseconds limit = 60s) {
        ProgramResult result;
        const int raw = waitForProcess(pid_, limit);
        pid_ = -1;
        if (raw >= 0 && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
        result.out = read(folder_.path() / "out");
        result.err = read(folder_.path() / "err");
        return result;
    }

private:
    TemporaryDirectory folder_;
    pid_t pid_ = -1;
    int input_ = -1;
};

class DictateCommandSerially : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (PulseAudioServer::missingPrograms().empty()) server_ = new PulseAudioServer();
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        const std::string missing = PulseAudioServer::missingPrograms();
        if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing;
        ASSERT_TRUE(server_->running()) << server_->error();
        fs::create_directories(temporary());
        environment["TMPDIR"] = temporary().string();
    }

    static PulseAudioServer& server() { return *server_; }
    fs::path temporary() const { return home.path() / "tmp"; }

    ProgramResult run(const std::vector<std::string>& args, const std::string& input = "") {
        return runTavlo(args, input, environment);
    }
    void setSetting(const std::string& name, const std::string& value) {
        const auto result = run({"settings", "set", name, value});
        ASSERT_EQ(result.status, 0) << result.err;
    }
    std::vector<std::string> tavlo(std::vector<std::string> args) {
        args.insert(args.begin(), TAVLO_BINARY);
        return args;
    }

    // Waits until a program records from the virtual microphone.
    static bool waitUntilRecording(std::chrono::milliseconds limit = 20s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (!server().pactl({"list", "short", "source-outputs"}).empty()) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    // One dictation: listening begins, the speech plays, Enter finishes it.
    ProgramResult dictate(const std::vector<std::string>& argv, const std::string& speech,
                          const fs::path& output = {}) {
        RunningProgram program(argv, environment, output);
        EXPECT_TRUE(waitUntilRecording()) << "the program never listened";
        EXPECT_TRUE(server().playSpeech(speech));
        // The recogniser may lag behind a busy machine; Enter comes after a pause.
        std::this_thread::sleep_for(1s);
        program.send("\n");
        return program.finish();
    }

    void expectNoWorkFilesLeft() {
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(temporary(), error))
            if (entry.is_regular_file()) ADD_FAILURE() << "left behind: " << entry.path();
    }
    std::string history() { return run({"settings"}).out; }

    TemporaryDirectory home;
    std::map<std::string, std::string> environment = freshUserEnvironment(home.path());

private:
    static inline PulseAudioServer* server_ = nullptr;
};

TEST_F(DictateCommandSerially, OnDeviceRecognitionHearsTheMicrophoneAndPrintsTheText) {
    setSetting("speechModel", "Apple on-device");
    setSetting("microphoneUniqueID", "vmic");
    const auto result = dictate(tavlo({"dictate"}), "hello world this is a dictation test");
    EXPECT_EQ(result.status, 0) << result.err;
    // The general model's exact words are the recogniser tests' business;
    // here it is enough that speech became text and reached the user.
    ASSERT_FALSE(result.out.empty()) << result.err << read(home.path() / ".local/state/tavlo/Tavlo.log");
    EXPECT_EQ(result.out.back(), '\n');
    // Standard error is no terminal here: no live text, no prompts.
    EXPECT_EQ(result.err, "");
    // The dictation is in the history.
    const std::string text = result.out.substr(0, result.out.size() - 1);
    EXPECT_NE(history().find(text), std::string::npos);
    const std::string log = read(home.path() / ".local/state/tavlo/Tavlo.log");
    EXPECT_NE(log.find("] record start requested target=Active App bundle=unknown startSnapshot=false frontmost=none"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("] record complete chars="), std::string::npos) << log;
    expectNoWorkFilesLeft();
}

TEST_F(DictateCommandSerially, OnATerminalTheLiveTextIsShownAsItGrows) {
    if (findProgram("script").empty()) GTEST_SKIP() << "script is not installed";
    setSetting("speechModel", "Apple on-device");
    // script(1) gives the program a terminal and copies what it shows.
    RunningProgram program({findProgram("script"), "--quiet", "--return", "--command",
                            std::string(TAVLO_BINARY) + " dictate --seconds 6", "/dev/null"},
                           environment);
    ASSERT_TRUE(waitUntilRecording());
    ASSERT_TRUE(server().playSpeech("hello world this is a dictation test"));
    const auto result = program.finish();
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_NE(result.out.find("Listening. Press Enter to finish, Ctrl+C to cancel.\r\n"), std::string::npos)
        << result.out;
    // Each new live text rewrites the line, which is cleared before the result.
    const std::size_t rewrite = result.out.find("\r\x1b[K");
    ASSERT_NE(rewrite, std::string::npos) << result.out;
    EXPECT_NE(result.out.substr(rewrite + 4, 1), "\r") << "an empty live line" << result.out;
    EXPECT_EQ(result.out.substr(result.out.size() - 2), "\r\n") << result.out;
}

TEST_F(DictateCommandSerially, LocalWhisperTranscribesTheRecordingAndLeavesNoFiles) {
    // whisper.cpp is looked for in the system's program folders; the stand-in
    // takes that place in a mount namespace of the program's own.
    if (findProgram("unshare").empty()) GTEST_SKIP() << "unshare is not installed";
    const fs::path bin = home.path() / "bin";
    fs::create_directories(bin);
    fs::create_symlink(fs::path(TAVLO_STANDIN_DIR) / "whisper-cli", bin / "whisper-cli");
    const auto probe = runProgram(findProgram("unshare"), {"--user", "--map-root-user", "--mount", "true"});
    if (probe.status != 0) GTEST_SKIP() << "no private mount namespaces here: " << probe.err;

    // A language the on-device recogniser does not serve: no live preview
    // could stand in for Whisper's text.
    const fs::path model = home.path() / ".cache/whisper.cpp/ggml-base.bin";
    fs::create_directories(model.parent_path());
    std::ofstream(model) << "segment= Guten Tag aus dem Mikrofon.\n";
    setSetting("speechModel", "Local Whisper");
    setSetting("speechLanguageIdentifier", "de_DE");

    const auto result = dictate({findProgram("unshare"), "--user", "--map-root-user", "--mount", "sh", "-c",
                                 "mount --bind \"$0\" /usr/local/bin && exec \"$@\"", bin.string(), TAVLO_BINARY,
                                 "dictate"},
                                "one two three four five");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Guten Tag aus dem Mikrofon.\n");
    // Whisper was given the recording itself, in the temporary folder: it
    // was recorded in the form Whisper reads, so no converted copy was made.
    const std::string calls = read(fs::path(model.string() + ".calls"));
    EXPECT_NE(calls.find("whisper-cli"), std::string::npos) << calls;
    EXPECT_NE(calls.find(temporary().string()), std::string::npos) << calls;
    EXPECT_EQ(calls.find("-16k.wav"), std::string::npos) << calls;
    EXPECT_NE(history().find("Guten Tag aus dem Mikrofon."), std::string::npos);
    expectNoWorkFilesLeft();
}

// The warm server loads its model while the user speaks, as the desktop
// program starts it at launch, so the model load is not paid after stop.
TEST_F(DictateCommandSerially, LocalWhisperServerLoadsWhileTheUserSpeaks) {
    if (findProgram("unshare").empty()) GTEST_SKIP() << "unshare is not installed";
    const fs::path bin = home.path() / "bin";
    fs::create_directories(bin);
    fs::create_symlink(fs::path(TAVLO_STANDIN_DIR) / "whisper-server", bin / "whisper-server");
    const auto probe = runProgram(findProgram("unshare"), {"--user", "--map-root-user", "--mount", "true"});
    if (probe.status != 0) GTEST_SKIP() << "no private mount namespaces here: " << probe.err;

    const fs::path model = home.path() / ".cache/whisper.cpp/ggml-base.bin";
    fs::create_directories(model.parent_path());
    std::ofstream(model) << "segment= Guten Tag vom Server.\n";
    setSetting("speechModel", "Local Whisper");
    setSetting("speechLanguageIdentifier", "de_DE");

    RunningProgram program({findProgram("unshare"), "--user", "--map-root-user", "--mount", "sh", "-c",
                            "mount --bind \"$0\" /usr/local/bin && exec \"$@\"", bin.string(), TAVLO_BINARY,
                            "dictate"},
                           environment);
    ASSERT_TRUE(waitUntilRecording()) << "the program never listened";
    // The stand-in records when it listens; that happens before Enter.
    const fs::path events(model.string() + ".events");
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (read(events).find("listening") == std::string::npos && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    EXPECT_NE(read(events).find("listening"), std::string::npos) << "no server while the user speaks";
    EXPECT_TRUE(server().playSpeech("one two three"));
    program.send("\n");
    const auto result = program.finish();
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Guten Tag vom Server.\n");
}

TEST_F(DictateCommandSerially, TheCloudReceivesTheRecordingAfterStop) {
    ScriptedHttpServer openAI;
    environment["TAVLO_OPENAI_BASE_URL"] = openAI.baseURL();
    openAI.answerNext({200, R"({"text":"the meeting is at noon"})"});
    setSetting("speechModel", "OpenAI cloud");
    setSetting("openAICloudMode", "Own OpenAI key");
    setSetting("dictionaryWords", R"(["Tavlo"])");
    ASSERT_EQ(run({"secret", "set", "openai-key"}, "sk-test-key\n").status, 0);

    const auto result = dictate(tavlo({"dictate"}), "the meeting is at noon");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "The meeting is at noon.\n");
    const auto requests = openAI.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/v1/audio/transcriptions");
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer sk-test-key");
    // The recording went up, with the dictionary as the prompt.
    EXPECT_NE(requests[0].body.find("name=\"prompt\""), std::string::npos);
    EXPECT_NE(requests[0].body.find("Tavlo"), std::string::npos);
    EXPECT_GT(requests[0].body.size(), 10000u);
    // As 16 kHz mono 16-bit PCM: the smallest file the service takes as it is.
    const std::size_t format = requests[0].body.find("WAVEfmt ");
    ASSERT_NE(format, std::string::npos);
    const auto field = [&](std::size_t offset, std::size_t size) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i)
            value |= std::uint32_t(static_cast<unsigned char>(requests[0].body[format + 12 + offset + i])) << (8 * i);
        return value;
    };
    EXPECT_EQ(field(0, 2), 1u);       // PCM
    EXPECT_EQ(field(2, 2), 1u);       // one channel
    EXPECT_EQ(field(4, 4), 16000u);   // samples a second
    EXPECT_EQ(field(14, 2), 16u);     // bits a sample
    expectNoWorkFilesLeft();
}

// What keeps local Whisper from running is said the same way by a dictation
// and by a file transcription, before anything is recorded or converted.
TEST_F(DictateCommandSerially, DictationAndFileTranscriptionGiveTheSameReasonLocalWhisperCannotRun) {
    if (findProgram("unshare").empty()) GTEST_SKIP() << "unshare is not installed";
    const fs::path bin = home.path() / "bin";
    fs::create_directories(bin);
    fs::create_symlink(fs::path(TAVLO_STANDIN_DIR) / "whisper-cli", bin / "whisper-cli");
    const auto probe = runProgram(findProgram("unshare"), {"--user", "--map-root-user", "--mount", "true"});
    if (probe.status != 0) GTEST_SKIP() << "no private mount namespaces here: " << probe.err;
    const std::vector<std::string> withStandIn{findProgram("unshare"), "--user", "--map-root-user", "--mount", "sh",
                                               "-c", "mount --bind \"$0\" /usr/local/bin && exec \"$@\"",
                                               bin.string(), TAVLO_BINARY};
    const fs::path models = home.path() / ".cache/whisper.cpp";
    fs::create_directories(models);
    const fs::path source = home.path() / "memo.m4a";
    std::ofstream(source) << "not really audio";
    setSetting("speechModel", "Local Whisper");

    struct Case {
        const char* name;
        const char* language;
        const char* englishModel;  // written into the model folder when given
        std::string message;
    };
    const Case cases[] = {
        {"German with only English models", "de_DE", "ggml-base.en.bin",
         "German needs a multilingual Whisper model: download base in Home, or run tavlo models download base."},
        {"no model at all", "en_US", nullptr,
         "Local Whisper has no model yet: download base.en in Home, or run tavlo models download base.en."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(models);
        fs::create_directories(models);
        if (c.englishModel) std::ofstream(models / c.englishModel) << "segment= Never heard.\n";
        setSetting("speechLanguageIdentifier", c.language);
        for (const std::string command : {"dictate", "transcribe"}) {
            SCOPED_TRACE(command);
            auto argv = withStandIn;
            argv.push_back(command);
            if (command == "transcribe") argv.push_back(source.string());
            const auto result = runProgram(argv[0], {argv.begin() + 1, argv.end()}, "", environment);
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.out, "");
            EXPECT_EQ(result.err, "tavlo: " + c.message + "\n");
        }
    }
    EXPECT_EQ(read(source), "not really audio");
    expectNoWorkFilesLeft();
}

// The on-device recogniser previews English while Whisper or the cloud
// works; what the command prints, and its status, come from them alone.
TEST_F(DictateCommandSerially, ThePreviewNeverStandsInForTheTranscription) {
    if (findProgram("unshare").empty()) GTEST_SKIP() << "unshare is not installed";
    const fs::path bin = home.path() / "bin";
    fs::create_directories(bin);
    fs::create_symlink(fs::path(TAVLO_STANDIN_DIR) / "whisper-cli", bin / "whisper-cli");
    const auto probe = runProgram(findProgram("unshare"), {"--user", "--map-root-user", "--mount", "true"});
    if (probe.status != 0) GTEST_SKIP() << "no private mount namespaces here: " << probe.err;
    const std::vector<std::string> withStandIn{findProgram("unshare"), "--user", "--map-root-user", "--mount", "sh",
                                               "-c", "mount --bind \"$0\" /usr/local/bin && exec \"$@\"",
                                               bin.string(), TAVLO_BINARY, "dictate"};
    const fs::path model = home.path() / ".cache/whisper.cpp/ggml-base.bin";
    fs::create_directories(model.parent_path());
    ScriptedHttpServer openAI;
    environment["TAVLO_OPENAI_BASE_URL"] = openAI.baseURL();
    ASSERT_EQ(run({"secret", "set", "openai-key"}, "sk-wrong-key\n").status, 0);
    setSetting("openAICloudMode", "Own OpenAI key");
    setSetting("speechLanguageIdentifier", "en_US");

    struct Case {
        const char* name;
        const char* speechModel;
        std::string whisperScript;  // the stand-in's model file
        int status;
        std::string out;
        std::string lastErrorLine;
    };
    const Case cases[] = {
        {"Whisper answering after 2 s", "Local Whisper", "load_ms=2000\nsegment= Whisper heard this.\n", 0,
         "Whisper heard this.\n", ""},
        {"Whisper failing", "Local Whisper", "cli_exit=1\ncli_stderr=error: out of memory\n", 1, "",
         "tavlo: on-device text (not the transcription; kept in your history): "},
        {"the cloud refusing the key", "OpenAI cloud", "", 1, "",
         "tavlo: on-device text (not the transcription; kept in your history): "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setSetting("speechModel", c.speechModel);
        std::ofstream(model, std::ios::trunc) << c.whisperScript;
        if (c.whisperScript.empty())
            openAI.answerNext({401, R"({"error":{"message":"Incorrect API key provided: sk-wrong-key."}})"});
        const auto result = dictate(withStandIn, "hello world this is a dictation test");
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_EQ(result.out, c.out);
        if (c.status == 0) {
            EXPECT_EQ(result.err, "");
        } else {
            // The failure's own message, then the preview, labelled, on a line of its own.
            EXPECT_EQ(result.err.rfind("tavlo: ", 0), 0u) << result.err;
            const std::size_t label = result.err.find("\n" + c.lastErrorLine);
            ASSERT_NE(label, std::string::npos) << result.err;
            const std::string preview = result.err.substr(label + 1 + c.lastErrorLine.size());
            EXPECT_GT(preview.size(), 1u) << result.err;
            EXPECT_EQ(preview.find('\n'), preview.size() - 1) << result.err;
            EXPECT_NE(history().find(preview.substr(0, preview.size() - 1)), std::string::npos) << result.err;
        }
    }
    const auto requests = openAI.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer sk-wrong-key");
    expectNoWorkFilesLeft();
}

TEST_F(DictateCommandSerially, AMicrophoneUnpluggedWhileListeningEndsTheDictationWithWhatWasHeard) {
    // A microphone of its own, fed like the virtual one, that can be unplugged.
    const std::string loaded =
        server().pactl({"load-module", "module-remap-source", "source_name=plugmic", "master=micfeed.monitor",
                        "channels=1", "channel_map=mono", "source_properties=device.description=Plug"});
    const std::string module = loaded.substr(0, loaded.find('\n'));
    ASSERT_FALSE(module.empty());
    struct Unplug {
        const std::string& module;
        ~Unplug() { server().pactl({"unload-module", module}); }
    } unplugAtTheEnd{module};
    setSetting("speechModel", "Apple on-device");
    setSetting("microphoneUniqueID", "plugmic");

    // Standard input stays open: nothing but the unplugging ends the dictation.
    RunningProgram program(tavlo({"dictate"}), environment);
    ASSERT_TRUE(waitUntilRecording());
    ASSERT_TRUE(server().playSpeech("hello world this is a dictation test"));
    // The recogniser may lag behind a busy machine.
    std::this_thread::sleep_for(1s);
    server().pactl({"unload-module", module});
    const auto result = program.finish(30s);
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(result.err, "tavlo: The microphone was disconnected.\n");
    // What was heard before is still delivered, and kept.
    ASSERT_FALSE(result.out.empty());
    EXPECT_NE(history().find(result.out.substr(0, result.out.size() - 1)), std::string::npos);
    const std::string log = read(home.path() / ".local/state/tavlo/Tavlo.log");
    EXPECT_NE(log.find("] record microphone lost target=Active App"), std::string::npos) << log;
}

TEST_F(DictateCommandSerially, SilenceAndTheEndOfInputPrintNothing) {
    setSetting("speechModel", "Apple on-device");
    // Standard input that is already at its end finishes the dictation as
    // soon as it listens; nothing was said.
    const auto result = run({"dictate"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
}

TEST_F(DictateCommandSerially, ClosedStandardInputCountsAsItsEnd) {
    setSetting("speechModel", "Apple on-device");
    // With descriptor 0 closed, the next one the program opens (its event
    // loop's, say) must not be taken for standard input and waited on.
    RunningProgram program(tavlo({"dictate"}), environment, {}, Input::closed);
    const auto result = program.finish(60s);
    EXPECT_EQ(result.status, 0) << "still running after a minute: " << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
}

TEST_F(DictateCommandSerially, SecondsEndTheDictationWithoutInput) {
    setSetting("speechModel", "Apple on-device");
    RunningProgram program(tavlo({"dictate", "--seconds", "1.5"}), environment);
    ASSERT_TRUE(waitUntilRecording());
    const auto started = std::chrono::steady_clock::now();
    const auto result = program.finish(30s);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

TEST_F(DictateCommandSerially, ControlCCancels) {
    setSetting("speechModel", "Apple on-device");
    RunningProgram program(tavlo({"dictate"}), environment);
    ASSERT_TRUE(waitUntilRecording());
    ASSERT_TRUE(server().playSpeech("hello world"));
    program.interrupt();
    const auto result = program.finish(30s);
    EXPECT_EQ(result.status, 130);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "tavlo: dictation cancelled\n");
    EXPECT_EQ(history().find("\"text\": \"Hello"), std::string::npos);
}

TEST_F(DictateCommandSerially, ListsTheMicrophonesByUniqueIdAndName) {
    const auto result = run({"dictate", "--list-microphones"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find(std::string(PulseAudioServer::microphoneName) + "\t" +
                              PulseAudioServer::microphoneDescription + "\n"),
              std::string::npos)
        << result.out;
    // Monitors of outputs are no microphones.
    EXPECT_EQ(result.out.find(".monitor"), std::string::npos) << result.out;
}

TEST_F(DictateCommandSerially, OutputThatCannotBeWrittenIsAFailure) {
    // /dev/full refuses every write.
    RunningProgram list(tavlo({"dictate", "--list-microphones"}), environment, "/dev/full");
    const auto listed = list.finish(30s);
    EXPECT_EQ(listed.status, 1);
    EXPECT_EQ(listed.err, "tavlo: could not write the list of microphones\n");

    setSetting("speechModel", "Apple on-device");
    const auto result = dictate(tavlo({"dictate"}), "hello world this is a dictation test", "/dev/full");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "tavlo: could not write the dictated text\n");
}

TEST_F(DictateCommandSerially, WithoutASoundServerThereIsNoMicrophone) {
    setSetting("speechModel", "Apple on-device");
    environment["PULSE_SERVER"] = "unix:" + (home.path() / "no-server").string();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"dictate"}, std::vector<std::string>{"dictate", "--list-microphones"}}) {
        SCOPED_TRACE(args.back());
        const auto result = run(args, "\n");
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "tavlo: No microphone input is available.\n");
    }
    EXPECT_NE(read(home.path() / ".local/state/tavlo/Tavlo.log").find("] present error=No microphone input is available."),
              std::string::npos);
}

TEST_F(DictateCommandSerially, OwnKeyModeWithoutAKeyIsRefusedBeforeListening) {
    setSetting("speechModel", "OpenAI cloud");
    setSetting("openAICloudMode", "Own OpenAI key");
    const auto result = run({"dictate"}, "\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "tavlo: Save your OpenAI API key in Home before using Own OpenAI key mode.\n");
}

TEST(DictateCommand, WrongArgumentsPrintTheUsage) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"dictate", "--seconds"}, std::vector<std::string>{"dictate", "--seconds", "0"},
          std::vector<std::string>{"dictate", "--seconds", "-3"}, std::vector<std::string>{"dictate", "--seconds", "2x"},
          std::vector<std::string>{"dictate", "--seconds", "nan"},
          std::vector<std::string>{"dictate", "--seconds", "1", "--seconds", "2"},
          std::vector<std::string>{"dictate", "--list-microphones", "--seconds", "1"},
          std::vector<std::string>{"dictate", "now"}}) {
        SCOPED_TRACE(args.back());
        TemporaryDirectory home;
        const auto result = runTavlo(args, "", freshUserEnvironment(home.path()));
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("usage: tavlo dictate", 0), 0u) << result.err;
    }
}

}  // namespace
}  // namespace tavlo::testing
