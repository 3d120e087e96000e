// The tones played through a real sound server (a private PulseAudio with a
// null sink "speaker" as the default output), heard by recording the sink's
// monitor; and the same player without any server, where playing must stay
// silent and never hold anyone up.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "harness/ChildProcesses.h"
#include "harness/PulseAudioServer.h"
#include "harness/TemporaryDirectory.h"
#include "indicator/model/FeedbackSound.h"
#include "platform/linux/audio/PulseSoundPlayer.h"

namespace tavlo {
namespace {

using namespace std::chrono_literals;

// Records what the speaker plays, as 16-bit mono at the tones' rate.
class SpeakerRecording {
public:
    explicit SpeakerRecording(const std::filesystem::path& file) : file_(file) {
        pid_ = testing::spawn({testing::findProgram("parec"), "--raw", "--format=s16le", "--rate=44100", "--channels=1",
                               "--latency-msec=20", "-d", "speaker.monitor", file.string()},
                              testing::childEnvironment({}, {}), file.string() + ".log", nullptr);
        // Until the recorder has connected, nothing would be heard.
        std::this_thread::sleep_for(500ms);
    }
    ~SpeakerRecording() { testing::stopProcess(pid_); }

    std::vector<std::int16_t> stop() {
        // Lets the last played samples pass through the sink first.
        std::this_thread::sleep_for(300ms);
        testing::stopProcess(pid_);
        pid_ = -1;
        std::ifstream in(file_, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::vector<std::int16_t> samples(bytes.size() / 2);
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
        return samples;
    }

private:
    std::filesystem::path file_;
    pid_t pid_ = -1;
};

struct Heard {
    int peak = 0;
    // From the first to the last sample clearly above the noise floor.
    std::size_t span = 0;
};

Heard listen(const std::vector<std::int16_t>& samples) {
    Heard heard;
    std::optional<std::size_t> first, last;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const int level = std::abs(static_cast<int>(samples[i]));
        heard.peak = std::max(heard.peak, level);
        if (level > 100) {
            if (!first) first = i;
            last = i;
        }
    }
    if (first) heard.span = *last - *first + 1;
    return heard;
}

class FeedbackSoundPlaybackSerially : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (testing::PulseAudioServer::missingPrograms().empty()) server_ = new testing::PulseAudioServer();
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        const std::string missing = testing::PulseAudioServer::missingPrograms();
        if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing;
        ASSERT_TRUE(server_->running()) << server_->error();
    }

    std::filesystem::path recordingFile(const std::string& name) { return folder_.path() / name; }

    static inline testing::PulseAudioServer* server_ = nullptr;
    testing::TemporaryDirectory folder_;
    std::shared_ptr<PulseSoundPlayer> player = std::make_shared<PulseSoundPlayer>();
    FeedbackSound sound{player};
};

// The loudest sample of a cue and how long it sounds.
constexpr int startPeak = 15598;
constexpr std::size_t startLength = 2425 + 529 + 3307;
constexpr std::size_t stopLength = 2205 + 529 + 3748;

TEST_F(FeedbackSoundPlaybackSerially, TheStartToneIsHeardWholeAtAThirdOfFullVolume) {
    SpeakerRecording recording(recordingFile("start.raw"));
    sound.playStart();
    ASSERT_TRUE(player->waitUntilIdle(3s));
    const Heard heard = listen(recording.stop());
    EXPECT_NEAR(heard.peak, 0.34 * startPeak, 0.05 * 0.34 * startPeak);
    EXPECT_GT(heard.span, 0.85 * startLength);
    EXPECT_LT(heard.span, 1.05 * startLength);
}

TEST_F(FeedbackSoundPlaybackSerially, AStopRightAfterAStartPlaysAtTheSameTimeInsteadOfWaiting) {
    SpeakerRecording recording(recordingFile("both.raw"));
    sound.playStart();
    sound.playStop();
    ASSERT_TRUE(player->waitUntilIdle(3s));
    const Heard heard = listen(recording.stop());
    EXPECT_GT(heard.span, 0.85 * stopLength);
    EXPECT_LT(heard.span, 0.7 * (startLength + stopLength));
}

TEST_F(FeedbackSoundPlaybackSerially, AfterTheServerWasRestartedTonesAreHeardAgain) {
    sound.playCancel();
    ASSERT_TRUE(player->waitUntilIdle(3s));
    server_->kill();
    sound.playCancel();  // nobody to play it: dropped
    EXPECT_TRUE(player->waitUntilIdle(3s));
    ASSERT_TRUE(server_->restart()) << server_->error();

    SpeakerRecording recording(recordingFile("again.raw"));
    sound.playCancel();
    ASSERT_TRUE(player->waitUntilIdle(3s));
    EXPECT_GT(listen(recording.stop()).span, 3000u);
}

TEST(FeedbackSoundWithoutServer, TonesAreDroppedSilentlyAndNoServerIsStarted) {
    testing::TemporaryDirectory folder;
    const char* saved = std::getenv("PULSE_SERVER");
    const std::string previous = saved ? saved : "";
    ::setenv("PULSE_SERVER", ("unix:" + (folder.path() / "nobody-here").string()).c_str(), 1);
    {
        auto player = std::make_shared<PulseSoundPlayer>();
        FeedbackSound sound(player);
        sound.playStart();
        sound.playStop();
        sound.playCancel();
        EXPECT_TRUE(player->waitUntilIdle(5s));
    }
    if (saved)
        ::setenv("PULSE_SERVER", previous.c_str(), 1);
    else
        ::unsetenv("PULSE_SERVER");
}

}  // namespace
}  // namespace tavlo
