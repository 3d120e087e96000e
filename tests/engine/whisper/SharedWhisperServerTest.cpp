// One whisper-server per user, for real: two runs of the program (two warm
// servers, each with its own lock on one private folder, as two processes
// would have) start the stand-in whisper-server as a real child process and
// reach it over real HTTP. The stand-in binds with SO_REUSEPORT like the real
// server, so a second server would bind next to the first; it can be stopped
// with SIGSTOP like the real one.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "engine/whisper/WarmWhisperServer.h"
#include "engine/whisper/WhisperTestFiles.h"
#include "harness/BackgroundProgram.h"
#include "harness/FreeLoopbackPort.h"
#include "harness/PumpedMainQueue.h"
#include "platform/linux/files/FileWhisperServerLock.h"
#include "platform/linux/http/CurlHttpClient.h"
#include "platform/linux/process/PosixProcessLauncher.h"
#include "platform/linux/process/ProcessInfo.h"

namespace tavlo {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::ScratchFolder;

const std::string kStandIns = TAVLO_STANDIN_DIR;

// 16 kHz mono 16-bit PCM: a second of a loud square wave, which the stand-in
// hears as speech.
std::string speechWav() {
    std::string samples;
    for (int i = 0; i < 16000; ++i) {
        const int16_t sample = (i / 20) % 2 ? 8000 : -8000;
        samples.push_back(static_cast<char>(sample & 0xff));
        samples.push_back(static_cast<char>((sample >> 8) & 0xff));
    }
    auto le32 = [](uint32_t value) {
        return std::string{static_cast<char>(value & 0xff), static_cast<char>((value >> 8) & 0xff),
                           static_cast<char>((value >> 16) & 0xff), static_cast<char>((value >> 24) & 0xff)};
    };
    auto le16 = [](uint16_t value) { return std::string{static_cast<char>(value & 0xff), static_cast<char>(value >> 8)}; };
    return "RIFF" + le32(36 + static_cast<uint32_t>(samples.size())) + "WAVE" + "fmt " + le32(16) + le16(1) + le16(1) +
           le32(16000) + le32(32000) + le16(2) + le16(16) + "data" + le32(static_cast<uint32_t>(samples.size())) +
           samples;
}

class SharedWhisperServer : public ::testing::Test {
protected:
    SharedWhisperServer() {
        locations_.homeDirectory = scratch_.path() / "home";
        fs::create_directories(bin());
        fs::create_symlink(kStandIns + "/whisper-server", bin() / "whisper-server");
        locations_.whisperServerCandidates = {bin() / "whisper-server"};
        ScratchFolder::write(model(), "segment=Hello from the shared server.\n");
        ScratchFolder::write(wav(), speechWav());
    }
    ~SharedWhisperServer() override {
        for (const auto& server : servers_) server->stop();
        launcher_.reset();  // waits for the servers it started
    }

    fs::path bin() const { return scratch_.path() / "bin"; }
    fs::path model() const { return locations_.homeDirectory / ".cache/whisper.cpp/ggml-base.bin"; }
    fs::path wav() const { return scratch_.path() / "speech.wav"; }
    // Made by the lock, private as the user's work folder must be.
    fs::path lockFolder() const { return scratch_.path() / "private"; }
    std::string url() const { return whisperServerURL(port_); }

    std::vector<json> jsonLines(const std::string& suffix) const {
        std::vector<json> lines;
        std::istringstream in(ScratchFolder::read(model().string() + suffix));
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) lines.push_back(json::parse(line));
        return lines;
    }
    std::size_t launches() const { return jsonLines(".calls").size(); }
    // The stand-in writes its output only when it ends; it records when it listens.
    bool waitUntilListening() const {
        for (int i = 0; i < 300; ++i) {
            for (const auto& event : jsonLines(".events"))
                if (event.contains("listening")) return true;
            ::usleep(20000);
        }
        return false;
    }

    // One run of the program: its own lock on the shared folder.
    std::shared_ptr<WarmWhisperServer> run() {
        WarmWhisperServerSettings settings;
        settings.mainQueue = queue_;
        settings.processLauncher = launcher_;
        settings.httpClient = http_;
        settings.searchLocations = [locations = locations_] { return locations; };
        settings.temporaryDirectory = scratch_.path() / ("run" + std::to_string(servers_.size()));
        settings.port = port_;
        settings.listenerIsOurs = [](int) { return true; };
        settings.lock = std::make_shared<FileWhisperServerLock>(lockFolder());
        settings.processActivity = [](int pid) { return processActivity(pid); };
        settings.stallLimit = std::chrono::seconds(2);
        servers_.push_back(WarmWhisperServer::create(std::move(settings)));
        return servers_.back();
    }

    struct Outcome {
        bool done = false;
        std::optional<EngineError> error;
        std::string describe() const { return error ? errorDescription(*error) : "ready"; }
    };
    static WarmWhisperServer::Completion into(Outcome& outcome) {
        return [&outcome](std::optional<EngineError> error) {
            outcome.error = std::move(error);
            outcome.done = true;
        };
    }
    Outcome ensure(const std::shared_ptr<WarmWhisperServer>& server, const std::string& language = "en") {
        Outcome outcome;
        server->ensure(url(), model(), language, into(outcome));
        EXPECT_TRUE(queue_->runUntil([&] { return outcome.done; }));
        return outcome;
    }
    WarmWhisperServer::UploadReply upload(const std::shared_ptr<WarmWhisperServer>& server) {
        std::optional<WarmWhisperServer::UploadReply> reply;
        server->postWav(url(), wav(), [&](WarmWhisperServer::UploadReply r) { reply = std::move(r); });
        EXPECT_TRUE(queue_->runUntil([&] { return reply.has_value(); }));
        return reply.value_or(WarmWhisperServer::UploadReply{std::string("<no reply>"), false});
    }
    static std::string text(const WarmWhisperServer::UploadReply& reply) {
        if (const auto* text = std::get_if<std::string>(&reply.result)) return "text: " + *text;
        return "error: " + errorDescription(std::get<EngineError>(reply.result));
    }

    ScratchFolder scratch_;
    WhisperSearchLocations locations_;
    int port_ = testing::freeLoopbackPort();
    std::shared_ptr<testing::PumpedMainQueue> queue_ = std::make_shared<testing::PumpedMainQueue>();
    std::shared_ptr<PosixProcessLauncher> launcher_ = std::make_shared<PosixProcessLauncher>();
    std::shared_ptr<CurlHttpClient> http_ = std::make_shared<CurlHttpClient>();
    std::vector<std::shared_ptr<WarmWhisperServer>> servers_;
};

// Two runs at the same moment (the desktop program and `tavlo transcribe`):
// one server starts, the other run waits for it and uses it.
TEST_F(SharedWhisperServer, RunsStartingTogetherShareOneServer) {
    ScratchFolder::write(model(), "load_ms=600\nsegment=Hello from the shared server.\n");
    const auto desktop = run();
    const auto command = run();
    Outcome first, second;
    desktop->ensure(url(), model(), "en", into(first));
    command->ensure(url(), model(), "en", into(second));
    ASSERT_TRUE(queue_->runUntil([&] { return first.done && second.done; }));
    EXPECT_EQ(first.describe(), "ready");
    EXPECT_EQ(second.describe(), "ready");
    EXPECT_EQ(launches(), 1u) << "never a second server next to the first";

    EXPECT_EQ(text(upload(command)), "text: Hello from the shared server.\n");
    EXPECT_EQ(text(upload(desktop)), "text: Hello from the shared server.\n");
    EXPECT_EQ(launches(), 1u);
}

// The one server has another run's language: it is neither used (the speech
// would come out in the wrong language) nor joined by a second server.
TEST_F(SharedWhisperServer, AnotherRunsServerWithAnotherLanguageIsNeitherUsedNorDoubled) {
    const auto german = run();
    ASSERT_EQ(ensure(german, "de").describe(), "ready");
    const auto english = run();
    EXPECT_EQ(ensure(english, "en").describe(),
              "Another Tavlo runs the local Whisper server with a different model or language.");
    EXPECT_EQ(launches(), 1u);
}

// A run's own server stopped (SIGSTOP) while the request waits: the request
// is given up as soon as that is seen, and the server counts as lost.
TEST_F(SharedWhisperServer, AStoppedServerIsLostRatherThanWaitedOn) {
    const auto server = run();
    ASSERT_EQ(ensure(server).describe(), "ready");
    const int pid = server->process()->processIdentifier();
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    const auto reply = upload(server);
    EXPECT_EQ(text(reply), "error: The local Whisper server stopped responding.");
    EXPECT_TRUE(reply.serverGone) << "restarted once, as a crashed server";

    Outcome restarted;
    server->restart(url(), model(), "en", into(restarted));
    ASSERT_TRUE(queue_->runUntil([&] { return restarted.done; }));
    EXPECT_EQ(restarted.describe(), "ready");
    EXPECT_EQ(text(upload(server)), "text: Hello from the shared server.\n");
    EXPECT_EQ(launches(), 2u);
    EXPECT_FALSE(processActivity(pid).has_value()) << "the stopped server was ended";
}

// The server of another run is stopped: this run ends it, the other run lets
// go of the lock when its server has ended, and this run starts the next.
TEST_F(SharedWhisperServer, AnotherRunsStoppedServerIsReplacedOnce) {
    const auto desktop = run();
    ASSERT_EQ(ensure(desktop).describe(), "ready");
    const int stopped = desktop->process()->processIdentifier();
    const auto command = run();
    ASSERT_EQ(ensure(command).describe(), "ready");
    EXPECT_EQ(command->process(), nullptr) << "the desktop program's server is used";

    ASSERT_EQ(::kill(stopped, SIGSTOP), 0);
    const auto reply = upload(command);
    ASSERT_TRUE(reply.serverGone) << text(reply);
    Outcome restarted;
    command->restart(url(), model(), "en", into(restarted));
    ASSERT_TRUE(queue_->runUntil([&] { return restarted.done; }));
    EXPECT_EQ(restarted.describe(), "ready");
    ASSERT_NE(command->process(), nullptr) << "this run started the next server";
    EXPECT_EQ(text(upload(command)), "text: Hello from the shared server.\n");
    EXPECT_EQ(launches(), 2u);

    // The desktop program uses the new server instead of starting a third.
    EXPECT_EQ(ensure(desktop).describe(), "ready");
    EXPECT_EQ(text(upload(desktop)), "text: Hello from the shared server.\n");
    EXPECT_EQ(launches(), 2u);
}

// A same-user server that no run of the program started (its model and
// language unknown) is not adopted: the user is told what is in the way.
TEST_F(SharedWhisperServer, AServerStartedByHandIsNotAdopted) {
    testing::BackgroundProgram byHand(kStandIns + "/whisper-server",
                                      {"-m", model().string(), "--port", std::to_string(port_), "-l", "de"});
    ASSERT_TRUE(waitUntilListening());
    const auto server = run();
    EXPECT_EQ(ensure(server).describe(),
              "Port " + std::to_string(port_) +
                  " is in use by a program Tavlo did not start, so local Whisper cannot start its server. Stop that "
                  "program and try again.");
    EXPECT_EQ(::kill(byHand.pid(), 0), 0) << "not ours to stop";
}

// A server a run of the program started and left behind (its run was killed)
// has a record but no lock: it is replaced by one with this run's language.
TEST_F(SharedWhisperServer, AServerLeftByAnEndedRunIsReplaced) {
    testing::BackgroundProgram left(kStandIns + "/whisper-server",
                                    {"-m", model().string(), "--port", std::to_string(port_), "-l", "de"});
    ASSERT_TRUE(waitUntilListening());
    {
        FileWhisperServerLock endedRun(lockFolder());
        ASSERT_TRUE(endedRun.tryAcquire());
        endedRun.record({left.pid(), model().string(), "de"});
        // The run is killed: the kernel drops its lock, the record stays.
        const std::string record = ScratchFolder::read(lockFolder() / "whisper-server.json");
        endedRun.release();
        ScratchFolder::write(lockFolder() / "whisper-server.json", record);
    }
    const auto server = run();
    EXPECT_EQ(ensure(server, "en").describe(), "ready");
    ASSERT_NE(server->process(), nullptr);
    const auto started = jsonLines(".calls");
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started.back()["args"].back(), "en");
    EXPECT_EQ(text(upload(server)), "text: Hello from the shared server.\n");
}

// The reason comes from the server's own output, and its log is kept.
TEST_F(SharedWhisperServer, APortHeldByAnotherProgramIsNamed) {
    // A listener without SO_REUSEPORT that never answers (a stopped program).
    const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port_));
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(holder, 4), 0);
    const auto server = run();
    EXPECT_EQ(ensure(server).describe(), "Port " + std::to_string(port_) + " is in use.");
    ::close(holder);
    const fs::path log = scratch_.path() / "run0/SorvelWhisper/whisper-server.log";
    EXPECT_NE(ScratchFolder::read(log).find("couldn't bind"), std::string::npos);
}

}  // namespace
}  // namespace tavlo
