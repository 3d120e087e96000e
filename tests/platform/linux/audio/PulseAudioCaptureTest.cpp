// The microphone adapter against a private PulseAudio server whose virtual
// microphone receives speech made by espeak-ng.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "platform/linux/audio/AudioTestSupport.h"
#include "harness/TemporaryDirectory.h"
#include "platform/linux/audio/PulseAudioCapture.h"
#include "platform/linux/audio/SndfileAudioFileWriter.h"

namespace tavlo {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::PulseAudioServer;
using testing::TapRecorder;

class PulseAudioCaptureSerially : public testing::SoundServerSuite {
protected:
    std::optional<AudioDeviceInfo> device(const std::string& uniqueID) {
        const auto devices = capture_.inputDevices();
        if (!devices) return std::nullopt;
        for (const AudioDeviceInfo& device : *devices)
            if (device.uniqueID == uniqueID) return device;
        return std::nullopt;
    }

    // A second microphone, stereo, fed by the same sink; removed again at the end.
    std::string addStereoMicrophone() {
        const std::string module = server().pactl(
            {"load-module", "module-remap-source", "source_name=stereomic", "master=micfeed.monitor", "channels=2",
             "channel_map=front-left,front-right", "source_properties=device.description=Stereo"});
        stereoModule_ = module.substr(0, module.find('\n'));
        return stereoModule_;
    }
    void removeStereoMicrophone() {
        if (!stereoModule_.empty()) server().pactl({"unload-module", stereoModule_});
        stereoModule_.clear();
    }
    void TearDown() override { removeStereoMicrophone(); }

    // Counts the losses an input reports; `waitForLoss` waits (bounded) for one.
    struct LossCounter {
        std::atomic<int> count{0};
        AudioInput::LossHandler handler() {
            return [this] { ++count; };
        }
        bool waitForLoss() {
            const auto deadline = Clock::now() + 5s;
            while (count.load() == 0 && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
            return count.load() > 0;
        }
    };

    static float peak(const std::vector<float>& samples) {
        float result = 0;
        for (float sample : samples) result = std::max(result, std::fabs(sample));
        return result;
    }

    PulseAudioCapture capture_;
    testing::TemporaryDirectory scratch_;
    std::string stereoModule_;
};

TEST_F(PulseAudioCaptureSerially, ListsMicrophonesInTheServersOrderWithoutMonitors) {
    ASSERT_FALSE(addStereoMicrophone().empty());
    const auto devices = capture_.inputDevices();
    ASSERT_TRUE(devices.has_value());
    ASSERT_EQ(devices->size(), 2u);
    EXPECT_EQ((*devices)[0].uniqueID, PulseAudioServer::microphoneName);
    EXPECT_EQ((*devices)[0].name, PulseAudioServer::microphoneDescription);
    EXPECT_EQ((*devices)[1].uniqueID, "stereomic");
    EXPECT_EQ((*devices)[1].name, "Stereo");
    EXPECT_NE((*devices)[0].deviceID, (*devices)[1].deviceID);
}

TEST_F(PulseAudioCaptureSerially, RecordsFromTheDefaultMicrophoneOrTheSelectedOne) {
    ASSERT_FALSE(addStereoMicrophone().empty());
    struct Case {
        std::optional<std::string> selected;
        std::uint32_t channels;
        std::size_t bufferFrames;
    };
    for (const Case& c : {Case{std::nullopt, 1, 1024}, Case{"stereomic", 2, 2048}}) {
        SCOPED_TRACE(c.selected.value_or("default"));
        auto input = capture_.makeInput();
        if (c.selected) {
            const auto chosen = device(*c.selected);
            ASSERT_TRUE(chosen.has_value());
            ASSERT_TRUE(input->setCurrentDevice(chosen->deviceID));
        }
        const AudioFormat format = input->inputFormat();
        EXPECT_EQ(format.channelCount, c.channels);
        EXPECT_GT(format.sampleRate, 0);
        TapRecorder recorder;
        LossCounter losses;
        input->installTap(c.bufferFrames, recorder.block());
        input->installLossHandler(losses.handler());
        input->prepare();
        input->start();
        EXPECT_TRUE(input->isRunning());
        ASSERT_TRUE(server().playSpeech("testing one two"));
        input->stop();
        input->removeTap();
        EXPECT_FALSE(input->isRunning());
        // Stopping is no loss.
        EXPECT_EQ(losses.count.load(), 0);

        const auto buffers = recorder.buffers();
        ASSERT_FALSE(buffers.empty());
        for (const AudioBuffer& buffer : buffers) {
            EXPECT_EQ(buffer.format, format);
            EXPECT_EQ(buffer.frameCount, c.bufferFrames);
            EXPECT_EQ(buffer.samples.size(), c.bufferFrames * c.channels);
        }
        EXPECT_GT(peak(recorder.samples()), 0.05f) << "the speech did not reach the microphone";
    }
}

TEST_F(PulseAudioCaptureSerially, AnUnknownDeviceCannotBeSelected) {
    auto input = capture_.makeInput();
    EXPECT_FALSE(input->setCurrentDevice(987654));
    // The default microphone still works.
    EXPECT_EQ(input->inputFormat().channelCount, 1u);
}

TEST_F(PulseAudioCaptureSerially, ATapIsNotCalledAfterItWasRemoved) {
    auto input = capture_.makeInput();
    ASSERT_EQ(input->inputFormat().channelCount, 1u);
    TapRecorder recorder;
    input->installTap(1024, recorder.block());
    input->start();
    ASSERT_TRUE(recorder.waitForCount(3));
    input->removeTap();
    const std::size_t seen = recorder.count();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(recorder.count(), seen);
    input->stop();
}

TEST_F(PulseAudioCaptureSerially, RecordingFilesHoldTheDeliveredSamplesAndLastAsLongAsTheRecording) {
    SndfileAudioFileWriter writer;
    for (const auto& [container, name] : {std::pair{AudioFileContainer::caf, "recording.caf"},
                                          std::pair{AudioFileContainer::wav, "recording.wav"}}) {
        SCOPED_TRACE(name);
        auto input = capture_.makeInput();
        const AudioFormat format = input->inputFormat();
        ASSERT_EQ(format.channelCount, 1u);
        const auto path = scratch_ / name;
        std::shared_ptr<WritableAudioFile> file = writer.open(path, container, format);
        TapRecorder recorder;
        auto keep = recorder.block();
        input->installTap(2048, [file, keep](const AudioBuffer& buffer) {
            if (!file->write(buffer)) keep(buffer);
        });
        input->start();
        const auto started = Clock::now();
        ASSERT_TRUE(server().playSpeech("the recording lasts about two seconds or so"));
        std::this_thread::sleep_for(300ms);
        input->stop();
        const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
        input->removeTap();
        file->close();

        const auto decoded = testing::decodeWithFfmpeg(path, scratch_.path());
        ASSERT_TRUE(decoded.has_value()) << testing::readLog(scratch_ / "ffmpeg.log");
        EXPECT_EQ(*decoded, recorder.samples());  // exactly the samples as delivered
        const double duration = static_cast<double>(decoded->size()) / format.sampleRate;
        EXPECT_NEAR(duration, seconds, seconds * 0.10);
        EXPECT_GT(peak(*decoded), 0.05f);
    }
}

TEST(SndfileAudioFileWriter, NeverWritesThroughASymbolicLink) {
    testing::TemporaryDirectory scratch_;
    SndfileAudioFileWriter writer;
    const auto target = scratch_ / "target";
    { std::ofstream(target) << "keep"; }
    const auto link = scratch_ / "link.wav";
    std::filesystem::create_symlink(target, link);
    try {
        writer.open(link, AudioFileContainer::wav, {48000, 1});
        ADD_FAILURE() << "opened through a symbolic link";
    } catch (const PlatformError& error) {
        EXPECT_EQ(error.domain(), "posix");
        EXPECT_EQ(error.code(), ELOOP);
    }
    EXPECT_EQ(testing::readLog(target), "keep");
}

TEST_F(PulseAudioCaptureSerially, AMicrophoneThatVanishesBeforeRecordingShowsNoChannels) {
    ASSERT_FALSE(addStereoMicrophone().empty());
    auto input = capture_.makeInput();
    ASSERT_TRUE(input->setCurrentDevice(device("stereomic")->deviceID));
    removeStereoMicrophone();
    EXPECT_EQ(input->inputFormat().channelCount, 0u);
    EXPECT_THROW(input->start(), PlatformError);
    EXPECT_FALSE(input->isRunning());
}

TEST_F(PulseAudioCaptureSerially, AMicrophoneUnpluggedWhileRecordingStopsTheBuffersButNotTheSession) {
    ASSERT_FALSE(addStereoMicrophone().empty());
    auto input = capture_.makeInput();
    ASSERT_TRUE(input->setCurrentDevice(device("stereomic")->deviceID));
    ASSERT_EQ(input->inputFormat().channelCount, 2u);
    TapRecorder recorder;
    LossCounter losses;
    input->installTap(1024, recorder.block());
    input->installLossHandler(losses.handler());
    input->start();
    ASSERT_TRUE(recorder.waitForCount(5));
    EXPECT_EQ(losses.count.load(), 0);
    removeStereoMicrophone();
    // The loss is reported, once.
    EXPECT_TRUE(losses.waitForLoss());
    std::this_thread::sleep_for(200ms);
    const std::size_t atUnplug = recorder.count();
    std::this_thread::sleep_for(400ms);
    // The stream never moves to the default microphone.
    EXPECT_EQ(recorder.count(), atUnplug);
    EXPECT_TRUE(input->isRunning());
    const auto stopping = Clock::now();
    input->stop();
    input->removeTap();
    EXPECT_LT(Clock::now() - stopping, 2s);
    EXPECT_EQ(losses.count.load(), 1);
    for (const AudioBuffer& buffer : recorder.buffers()) EXPECT_EQ(buffer.format.channelCount, 2u);
}

TEST_F(PulseAudioCaptureSerially, AServerThatDiesWhileRecordingKeepsTheAudioSoFar) {
    SndfileAudioFileWriter writer;
    auto input = capture_.makeInput();
    const AudioFormat format = input->inputFormat();
    ASSERT_EQ(format.channelCount, 1u);
    const auto path = scratch_ / "cut.wav";
    std::shared_ptr<WritableAudioFile> file = writer.open(path, AudioFileContainer::wav, format);
    TapRecorder recorder;
    auto keep = recorder.block();
    input->installTap(2048, [file, keep](const AudioBuffer& buffer) {
        if (!file->write(buffer)) keep(buffer);
    });
    LossCounter losses;
    input->installLossHandler(losses.handler());
    input->start();
    ASSERT_TRUE(recorder.waitForCount(10));

    server().kill();
    EXPECT_TRUE(losses.waitForLoss());
    std::this_thread::sleep_for(200ms);
    const std::size_t atDeath = recorder.count();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(recorder.count(), atDeath);

    const auto stopping = Clock::now();
    input->stop();
    input->removeTap();
    file->close();
    input.reset();
    EXPECT_LT(Clock::now() - stopping, 2s);
    EXPECT_EQ(losses.count.load(), 1);

    const auto decoded = testing::decodeWithFfmpeg(path, scratch_.path());
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->size(), atDeath * 2048);

    // Without a server there is nothing to record from, and nothing waits long.
    const auto asking = Clock::now();
    EXPECT_FALSE(capture_.inputDevices().has_value());
    auto orphan = capture_.makeInput();
    EXPECT_EQ(orphan->inputFormat().channelCount, 0u);
    EXPECT_THROW(orphan->start(), PlatformError);
    EXPECT_LT(Clock::now() - asking, 2s);

    ASSERT_TRUE(server().restart()) << server().error();
    EXPECT_EQ(capture_.makeInput()->inputFormat().channelCount, 1u);
}

TEST(PulseAudioCapture, MicrophoneAccessIsGranted) {
    PulseAudioCapture capture;
    std::optional<bool> granted;
    capture.requestMicrophoneAccess([&](bool answer) { granted = answer; });
    EXPECT_EQ(granted, true);
}

}  // namespace
}  // namespace tavlo
