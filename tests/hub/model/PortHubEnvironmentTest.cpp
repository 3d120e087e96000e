// The hub's environment read from the program's simulated ports.
#include "HubTestSupport.h"
#include "hub/model/PortHubEnvironment.h"
#include "platform/sim/SimAccessibility.h"
#include "platform/sim/SimAudioCapture.h"
#include "platform/sim/SimSpeechRecognizerService.h"

namespace tavlo::testing {
namespace {

using PortEnvironment = HubModelTest;

TEST_F(PortEnvironment, ReadsDevicesRecogniserAccessibilityAndKey) {
    auto audio = std::make_shared<SimAudioCapture>();
    auto speech = std::make_shared<SimSpeechRecognizerService>();
    auto accessibility = std::make_shared<SimAccessibility>();
    audio->setDevices(std::vector<AudioDeviceInfo>{{7, "vmic", "Virtual microphone"}});
    speech->setLanguageSupport("de_DE", std::nullopt);
    accessibility->trusted = false;
    PortHubEnvironment ports({&store, audio, speech, nullptr, accessibility});

    ASSERT_EQ(ports.inputDevices().size(), 1u);
    EXPECT_EQ(ports.inputDevices()[0].name, "Virtual microphone");
    EXPECT_EQ(ports.microphoneAccess(), MicrophoneAccess::authorized);
    EXPECT_EQ(ports.speechRecognitionAuthorization(), SpeechAuthorizationStatus::authorized);
    EXPECT_FALSE(ports.supportsOnDeviceRecognition("de_DE"));
    EXPECT_FALSE(ports.localWhisperReady("en_US"));  // no engine
    EXPECT_FALSE(ports.accessibilityTrusted());

    EXPECT_FALSE(ports.hasOpenAIAPIKey());
    EXPECT_TRUE(ports.storeOpenAIAPIKey("sk-1"));
    EXPECT_EQ(store.openAIAPIKey(), "sk-1");
    EXPECT_TRUE(ports.clearOpenAIAPIKey());
    EXPECT_FALSE(ports.hasOpenAIAPIKey());

    audio->setDevices(std::nullopt);
    EXPECT_TRUE(ports.inputDevices().empty());
}

TEST_F(PortEnvironment, MissingPortsReadAsNothingThere) {
    PortHubEnvironment ports({&store, nullptr, nullptr, nullptr, nullptr});
    EXPECT_TRUE(ports.inputDevices().empty());
    EXPECT_NE(ports.speechRecognitionAuthorization(), SpeechAuthorizationStatus::authorized);
    EXPECT_FALSE(ports.supportsOnDeviceRecognition("en_US"));
    EXPECT_FALSE(ports.accessibilityTrusted());
}

}  // namespace
}  // namespace tavlo::testing
