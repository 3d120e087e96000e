// The microphone chosen in the settings, by its unique id; a device that is
// not connected falls back to the default input.
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

}  // namespace
}  // namespace tavlo::testing
