// A back end that cannot start makes `start` throw, and no completion follows
// for that session.
#include <functional>

#include "engine/EngineTestSupport.h"

namespace tavlo::testing {
namespace {

struct StartFailureCase {
    const char* name;
    SpeechModel model;
    std::function<void(EngineTest&)> arrange;
    EngineError expected;
};

const PlatformError deviceBusy("pulse", 16, "Device or resource busy");
const PlatformError readOnly("posix", 30, "Read-only file system");
const PlatformError diskFull("posix", 28, "No space left on device");

void noMicrophone(EngineTest& t) { t.audio->setInputFormat({48000.0, 0}); }
void captureRefuses(EngineTest& t) { t.audio->setStartError(deviceBusy); }

const StartFailureCase startFailureCases[] = {
    {"LiveWithoutRecognizer", SpeechModel::appleOnDevice,
     [](EngineTest& t) { t.speech->setLanguageSupport("en_GB", std::nullopt); },
     DictationEngineError::speechUnavailable()},
    {"LiveWithUnavailableRecognizer", SpeechModel::appleOnDevice,
     [](EngineTest& t) {
         t.speech->setLanguageSupport("en_GB", SimSpeechRecognizerService::LanguageSupport{false, true});
     },
     DictationEngineError::speechUnavailable()},
    {"LiveWithoutOnDeviceSupport", SpeechModel::appleOnDevice,
     [](EngineTest& t) {
         t.speech->setLanguageSupport("en_GB", SimSpeechRecognizerService::LanguageSupport{true, false});
     },
     DictationEngineError::onDeviceRecognitionUnavailable()},
    {"LiveWithoutMicrophone", SpeechModel::appleOnDevice, noMicrophone, DictationEngineError::noInputAvailable()},
    {"LocalWithoutMicrophone", SpeechModel::localWhisper, noMicrophone, DictationEngineError::noInputAvailable()},
    {"CloudWithoutMicrophone", SpeechModel::openAICloud, noMicrophone, DictationEngineError::noInputAvailable()},
    {"LocalWithoutWhisper", SpeechModel::localWhisper,
     [](EngineTest& t) { t.transcriber->localWhisperInstalled = false; },
     DictationEngineError::localWhisperUnavailable()},
    {"CloudFolderNotCreated", SpeechModel::openAICloud,
     [](EngineTest& t) { t.temporary->setCreateError(readOnly); }, readOnly},
    {"LocalFileNotOpened", SpeechModel::localWhisper,
     [](EngineTest& t) { t.files->setOpenError(diskFull); }, diskFull},
    {"LiveCaptureRefusesToStart", SpeechModel::appleOnDevice, captureRefuses, deviceBusy},
    {"LocalCaptureRefusesToStart", SpeechModel::localWhisper, captureRefuses, deviceBusy},
    {"CloudCaptureRefusesToStart", SpeechModel::openAICloud, captureRefuses, deviceBusy},
};

class StartFailure : public EngineTest, public ::testing::WithParamInterface<StartFailureCase> {};

TEST_P(StartFailure, ThrowsAndNeverCompletes) {
    const StartFailureCase& c = GetParam();
    c.arrange(*this);
    std::optional<EngineError> thrown;
    try {
        start(c.model);
    } catch (const DictationEngineError& e) {
        thrown = e;
    } catch (const PlatformError& e) {
        thrown = e;
    }
    ASSERT_TRUE(thrown) << "start did not fail";
    EXPECT_EQ(*thrown, c.expected);
    EXPECT_EQ(errorDescription(*thrown), errorDescription(c.expected));
    run();
    advance(60s);
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(transcriber->calls.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, StartFailure, ::testing::ValuesIn(startFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DictationEngineError, DescriptionsAreFixedPerCase) {
    using E = DictationEngineError;
    const std::pair<E, std::string> cases[] = {
        {E::localWhisperFailed(""), "Local Whisper transcription failed."},
        {E::localWhisperFailed("ffmpeg is required for Local Whisper fast mode."),
         "ffmpeg is required for Local Whisper fast mode."},
        {E::cloudTranscriptionFailed(""), "OpenAI cloud transcription failed."},
        {E::cloudTranscriptionFailed("Invalid key"), "Invalid key"},
        {E::speechUnavailable(), "Speech recognition is not available right now."},
        {E::recognitionDenied(), "Speech recognition permission is required."},
        {E::microphoneDenied(), "Microphone permission is required."},
        {E::noInputAvailable(), "No microphone input is available."},
        {E::onDeviceRecognitionUnavailable(),
         "On-device Speech Recognition is not available for the current macOS language."},
        {E::localWhisperUnavailable(),
         "Local Whisper is not installed. Install whisper.cpp or the whisper CLI, or switch back to "
         "Apple on-device Speech."},
        {E::cloudTranscriptionUnavailable(),
         "OpenAI cloud transcription is not available. Check your Tavlo service access token and "
         "your internet connection."},
    };
    for (const auto& [error, description] : cases) {
        EXPECT_EQ(error.errorDescription(), description);
        EXPECT_STREQ(error.what(), description.c_str());
        EXPECT_EQ(errorDescription(EngineError(error)), description);
    }
    EXPECT_EQ(errorDescription(EngineError(PlatformError("posix", 2, "No such file or directory"))),
              "No such file or directory");
}

}  // namespace
}  // namespace tavlo::testing
