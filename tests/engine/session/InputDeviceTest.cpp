// The microphone chosen in the settings, by its unique id; a device that is
// not connected falls back to the default input; a microphone that goes away
// while the session listens is reported.
#include "engine/EngineTestSupport.h"

namespace tavlo::testing {
namespace {

struct DeviceCase {
    const char* name;
    std::optional<std::vector<AudioDeviceInfo>> devices;
    std::optional<std::string> microphoneUniqueID;
    bool selectionFails;
    std::optional<std::uint32_t> expectedDevice;  // absent: the default input
    bool expectNoInput;
};

const std::vector<AudioDeviceInfo> devices = {
    {11, "alsa_input.usb-headset", "Headset"},
    {12, std::nullopt, "Broken device"},
    {13, "alsa_input.pci-builtin", "Built-in"},
    {14, "alsa_input.pci-builtin", "Built-in (duplicate)"},
};

const DeviceCase deviceCases[] = {
    {"NoIdRecordsFromDefault", devices, std::nullopt, false, std::nullopt, false},
    {"EmptyIdRecordsFromDefault", devices, "", false, std::nullopt, false},
    {"UnknownIdRecordsFromDefault", devices, "alsa_input.unplugged", false, std::nullopt, false},
    {"KnownIdIsSelected", devices, "alsa_input.usb-headset", false, 11u, false},
    {"UnreadableIdsAreSkippedAndFirstMatchWins", devices, "alsa_input.pci-builtin", false, 13u, false},
    {"IdsCompareExactly", devices, "ALSA_INPUT.USB-HEADSET", false, std::nullopt, false},
    {"UnreadableDeviceListRecordsFromDefault", std::nullopt, "alsa_input.usb-headset", false, std::nullopt,
     false},
    {"SelectionFailureMeansNoInput", devices, "alsa_input.usb-headset", true, std::nullopt, true},
    {"UnknownIdNeverTriesSelection", devices, "alsa_input.unplugged", true, std::nullopt, false},
};

class InputDevice : public EngineTest,
                    public ::testing::WithParamInterface<std::tuple<DeviceCase, SpeechModel>> {};

TEST_P(InputDevice, SelectsDeviceByUniqueId) {
    const auto& [c, model] = GetParam();
    audio->setDevices(c.devices);
    audio->setDeviceSelectionFails(c.selectionFails);
    DictationStartOptions o = options(model);
    o.microphoneUniqueID = c.microphoneUniqueID;
    if (c.expectNoInput) {
        EXPECT_THROW(engine->start(o), DictationEngineError);
        return;
    }
    engine->start(o);
    EXPECT_TRUE(input()->isRunning());
    EXPECT_EQ(input()->selectedDeviceID(), c.expectedDevice);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InputDevice,
    ::testing::Combine(::testing::ValuesIn(deviceCases),
                       ::testing::Values(SpeechModel::appleOnDevice, SpeechModel::localWhisper,
                                         SpeechModel::openAICloud)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + "_" +
               std::to_string(static_cast<int>(std::get<1>(info.param)));
    });

class LostInput : public EngineTest, public ::testing::WithParamInterface<SpeechModel> {};

TEST_P(LostInput, IsReportedOnceAndTheSessionKeepsWhatItHeard) {
    const SpeechModel model = GetParam();
    int losses = 0;
    engine->onInputLost = [&] { ++losses; };
    start(model);
    input()->deliverSilence();
    recognition()->sendResult("hello there", 0.0);
    run();
    ASSERT_TRUE(input()->loseDevice());
    EXPECT_EQ(losses, 0);  // never on the capture thread
    run();
    EXPECT_EQ(losses, 1);
    // The session itself goes on until it is stopped.
    EXPECT_TRUE(completions.empty());

    engine->stopAndCommit();
    if (model == SpeechModel::appleOnDevice) {
        EXPECT_TRUE(recognition()->request().audioEnded());
        recognition()->sendFinal("hello there", 0.0);
        run();
        EXPECT_EQ(completions, std::vector{success("hello there")});
    } else {
        // What was recorded before the loss goes to the back end.
        ASSERT_EQ(transcriber->calls.size(), 1u);
        EXPECT_EQ(transcriber->calls[0].job.audioFile, file()->path());
        EXPECT_EQ(file()->buffersWritten(), 1u);
        EXPECT_TRUE(file()->closed());
    }
    EXPECT_EQ(losses, 1);
}

TEST_P(LostInput, ALossOfAnAbandonedSessionIsNotReported) {
    int losses = 0;
    engine->onInputLost = [&] { ++losses; };
    start(GetParam());
    ASSERT_TRUE(input()->loseDevice());
    start(GetParam());  // before the news reached the main thread
    run();
    EXPECT_EQ(losses, 0);
    // Once stopped, the session's microphone is no longer followed.
    engine->stopAndCommit();
    EXPECT_FALSE(input()->loseDevice());
    run();
    EXPECT_EQ(losses, 0);
}

INSTANTIATE_TEST_SUITE_P(Models, LostInput,
                         ::testing::Values(SpeechModel::appleOnDevice, SpeechModel::localWhisper,
                                           SpeechModel::openAICloud),
                         [](const auto& info) {
                             switch (info.param) {
                             case SpeechModel::appleOnDevice: return std::string("OnDevice");
                             case SpeechModel::localWhisper: return std::string("LocalWhisper");
                             case SpeechModel::openAICloud: return std::string("Cloud");
                             }
                             return std::string("Unknown");
                         });

}  // namespace
}  // namespace tavlo::testing
