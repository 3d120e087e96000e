// Permissions: speech recognition first and then the microphone for the
// on-device model; only the microphone for the delayed back ends.
#include "engine/EngineTestSupport.h"

namespace tavlo::testing {
namespace {

struct PermissionCase {
    const char* name;
    SpeechModel model;
    std::optional<SpeechAuthorizationStatus> speechAnswer;  // absent: speech is never asked
    std::optional<bool> microphoneAnswer;                    // absent: the microphone is never asked
    std::optional<DictationEngineError> expectedDenial;
};

class Permissions : public EngineTest, public ::testing::WithParamInterface<PermissionCase> {};

TEST_P(Permissions, AsksInOrderAndReportsOnTheMainQueue) {
    const PermissionCase& c = GetParam();
    std::vector<std::optional<DictationEngineError>> outcomes;
    engine->requestPermissions(c.model, [&](const auto& denial) { outcomes.push_back(denial); });
    run();

    ASSERT_EQ(speech->pendingAuthorizationCount(), c.speechAnswer ? 1u : 0u);
    if (c.speechAnswer) {
        EXPECT_EQ(audio->pendingMicrophoneRequestCount(), 0u);  // speech comes first
        speech->answerAuthorization(*c.speechAnswer);
        EXPECT_EQ(audio->pendingMicrophoneRequestCount(), 0u);  // asked from the main queue
        run();
    }
    ASSERT_EQ(audio->pendingMicrophoneRequestCount(), c.microphoneAnswer ? 1u : 0u);
    if (c.microphoneAnswer) {
        audio->answerMicrophoneAccess(*c.microphoneAnswer);
        EXPECT_TRUE(outcomes.empty());  // delivered on the main queue
        run();
    }
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0], c.expectedDenial);
    EXPECT_EQ(speech->authorizationRequestCount(), c.speechAnswer ? 1u : 0u);
}

using S = SpeechAuthorizationStatus;
INSTANTIATE_TEST_SUITE_P(
    Cases, Permissions,
    ::testing::Values(
        PermissionCase{"OnDeviceGranted", SpeechModel::appleOnDevice, S::authorized, true, std::nullopt},
        PermissionCase{"OnDeviceSpeechDenied", SpeechModel::appleOnDevice, S::denied, std::nullopt,
                       DictationEngineError::recognitionDenied()},
        PermissionCase{"OnDeviceSpeechRestricted", SpeechModel::appleOnDevice, S::restricted, std::nullopt,
                       DictationEngineError::recognitionDenied()},
        PermissionCase{"OnDeviceSpeechUndetermined", SpeechModel::appleOnDevice, S::notDetermined,
                       std::nullopt, DictationEngineError::recognitionDenied()},
        PermissionCase{"OnDeviceMicrophoneRefused", SpeechModel::appleOnDevice, S::authorized, false,
                       DictationEngineError::microphoneDenied()},
        PermissionCase{"LocalWhisperGranted", SpeechModel::localWhisper, std::nullopt, true, std::nullopt},
        PermissionCase{"LocalWhisperRefused", SpeechModel::localWhisper, std::nullopt, false,
                       DictationEngineError::microphoneDenied()},
        PermissionCase{"CloudGranted", SpeechModel::openAICloud, std::nullopt, true, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineTest, PermissionAnswerAfterEngineIsGoneIsDropped) {
    int calls = 0;
    engine->requestPermissions(SpeechModel::openAICloud, [&](const auto&) { ++calls; });
    engine.reset();
    audio->answerMicrophoneAccess(true);
    run();
    EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace tavlo::testing
