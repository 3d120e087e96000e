// Local Whisper and the cloud: recording to a temporary file, the live
// preview, the hand-over to the back end at stop, and the back end's result
// as the only outcome.
#include <regex>

#include "engine/EngineTestSupport.h"

namespace tavlo::testing {
namespace {

using DelayedBackEnd = EngineTest;

struct RecordingCase {
    const char* name;
    SpeechModel model;
    std::string folder;
    std::string extension;
    AudioFileContainer container;
    std::string progressText;
};

class RecordingForBackEnd : public EngineTest, public ::testing::WithParamInterface<RecordingCase> {};

TEST_P(RecordingForBackEnd, RecordsToTemporaryFileAndHandsItOverAtStop) {
    const RecordingCase& c = GetParam();
    audio->setInputFormat({44100.0, 2});
    DictationStartOptions o = options(c.model);
    o.contextualStrings = {"Tavlo"};
    o.languageIdentifier = "fr_FR";
    o.serviceAccessToken = "token";
    o.openAICloudMode = OpenAICloudMode::apiKey;
    o.openAIAPIKey = "sk-key";
    engine->start(o);

    const std::filesystem::path folder = temporary->temporaryDirectory() / c.folder;
    EXPECT_EQ(temporary->createdFolders(), std::vector{folder});
    auto recording = file();
    ASSERT_TRUE(recording);
    EXPECT_EQ(recording->path().parent_path(), folder);
    EXPECT_TRUE(std::regex_match(
        recording->path().filename().string(),
        std::regex("recording-[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\" +
                   c.extension)));
    EXPECT_EQ(recording->container(), c.container);
    EXPECT_EQ(recording->format(), (AudioFormat{44100.0, 2}));
    EXPECT_EQ(input()->tapBufferFrames(), 2048u);
    EXPECT_TRUE(engine->usesDelayedExternalTranscription());

    // The preview recogniser hears the same buffers that are recorded.
    auto preview = recognition();
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview->localeIdentifier(), "fr_FR");
    EXPECT_EQ(preview->request().settings().contextualStrings, std::vector<std::string>{"Tavlo"});
    for (int i = 0; i < 3; ++i) input()->deliverSilence(2048);
    EXPECT_EQ(recording->buffersWritten(), 3u);
    EXPECT_EQ(preview->request().appendedBufferCount(), 3u);
    preview->sendResult("bonjour", 0.0);
    preview->sendFinal("bonjour", 0.0);          // the preview never ends the session
    preview->sendError(PlatformError("speech", 1, "preview failed"));
    run();
    EXPECT_TRUE(completions.empty());

    engine->stopAndCommit();
    EXPECT_TRUE(recording->closed());
    EXPECT_TRUE(preview->request().audioEnded());
    EXPECT_FALSE(input()->isRunning());
    ASSERT_EQ(transcriber->calls.size(), 1u);
    const DelayedTranscriptionJob& job = transcriber->calls[0].job;
    EXPECT_EQ(job.model, c.model);
    EXPECT_EQ(job.audioFile, recording->path());
    EXPECT_EQ(job.languageIdentifier, "fr_FR");
    EXPECT_EQ(job.contextualStrings, std::vector<std::string>{"Tavlo"});
    EXPECT_EQ(job.openAICloudMode, OpenAICloudMode::apiKey);
    EXPECT_EQ(job.openAIAPIKey, "sk-key");
    EXPECT_EQ(job.serviceAccessToken, "token");
    // A recording of ours is already in Whisper's form: nothing converts it.
    EXPECT_TRUE(job.audioIsWhisperWav);

    if (c.model == SpeechModel::openAICloud) advance(10s);  // no fallback for the cloud
    EXPECT_TRUE(completions.empty());
    transcriber->calls[0].completion.finish(success("bonjour tout le monde"));
    run();
    // The preview's final result is shown like any other; only the back end ends the session.
    EXPECT_EQ(events, (std::vector<std::string>{"partial:bonjour", "partial:bonjour",
                                                "partial:" + c.progressText,
                                                "complete:bonjour tout le monde"}));
    // The back end owns the handed-over recording from now on.
    EXPECT_TRUE(temporary->removedFiles().empty());
    EXPECT_TRUE(input()->released());
}

INSTANTIATE_TEST_SUITE_P(
    Models, RecordingForBackEnd,
    ::testing::Values(RecordingCase{"LocalWhisper", SpeechModel::localWhisper, "SorvelWhisper", ".wav",
                                    AudioFileContainer::whisperWav, "Finalising locally with Whisper..."},
                      RecordingCase{"Cloud", SpeechModel::openAICloud, "SorvelCloud", ".wav",
                                    AudioFileContainer::whisperWav, "Transcribing with OpenAI..."}),
    [](const auto& info) { return std::string(info.param.name); });

struct BackEndOutcomeCase {
    const char* name;
    SpeechModel model;
    std::vector<std::string> previewTexts;
    MainQueue::Duration backEndTakes;
    DictationResult backEndResult;
};

class BackEndOutcome : public EngineTest, public ::testing::WithParamInterface<BackEndOutcomeCase> {};

// The preview is shown while recording, but whatever the back end makes of
// the recording, however late, is the session's one outcome.
TEST_P(BackEndOutcome, TheBackEndsResultIsTheOutcomeNeverThePreview) {
    const BackEndOutcomeCase& c = GetParam();
    start(c.model);
    for (const std::string& text : c.previewTexts) recognition()->sendResult(text, 0.0);
    run();
    const auto stoppedAt = queue->now();
    engine->stopAndCommit();
    ASSERT_EQ(transcriber->calls.size(), 1u);
    queue->postAfter(c.backEndTakes, [completion = transcriber->calls[0].completion, result = c.backEndResult] {
        completion.finish(result);
    });

    MainQueue::TimePoint completedAt{};
    engine->onComplete = [&](const DictationResult& r) {
        completions.push_back(r);
        completedAt = queue->now();
    };
    advance(60s);
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_EQ(completions[0], c.backEndResult);
    EXPECT_EQ(completedAt - stoppedAt, c.backEndTakes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BackEndOutcome,
    ::testing::Values(
        BackEndOutcomeCase{"SlowWhisperStillWins", SpeechModel::localWhisper, {"hello", "hello there"}, 2s,
                           success("whisper text")},
        BackEndOutcomeCase{"QuickWhisperWins", SpeechModel::localWhisper, {"hello there"}, 100ms,
                           success("whisper text")},
        BackEndOutcomeCase{"WithoutPreviewTextWaitsForWhisper", SpeechModel::localWhisper, {}, 30s,
                           success("whisper text")},
        BackEndOutcomeCase{"AnEmptyWhisperTextStaysEmpty", SpeechModel::localWhisper, {"hello there"}, 2s,
                           success("")},
        BackEndOutcomeCase{"FailingWhisperIsAFailure", SpeechModel::localWhisper, {"hello there"}, 2s,
                           failure(DictationEngineError::localWhisperFailed("whisper-cli exited with status 1"))},
        BackEndOutcomeCase{"RefusedCloudKeyIsAFailure", SpeechModel::openAICloud, {"hello there"}, 2s,
                           failure(DictationEngineError::cloudTranscriptionFailed("Incorrect API key (HTTP 401)"))}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DelayedBackEnd, CloudHasNoPreviewFallback) {
    start(SpeechModel::openAICloud);
    recognition()->sendResult("hello there", 0.0);
    run();
    engine->stopAndCommit();
    advance(60s);
    EXPECT_TRUE(completions.empty());
    transcriber->calls[0].completion.finish(failure(DictationEngineError::cloudTranscriptionFailed("")));
    run();
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_EQ(errorDescription(completions[0].error()), "OpenAI cloud transcription failed.");
}

TEST_F(DelayedBackEnd, WithoutSpeechAuthorisationRecordsWithoutPreviewOrPrompt) {
    speech->setAuthorizationStatus(SpeechAuthorizationStatus::notDetermined);
    start(SpeechModel::localWhisper);
    EXPECT_EQ(speech->recognitions().size(), 0u);
    EXPECT_EQ(speech->authorizationRequestCount(), 0u);
    input()->deliverSilence();
    EXPECT_EQ(file()->buffersWritten(), 1u);
    engine->stopAndCommit();
    advance(60s);
    EXPECT_TRUE(completions.empty());  // only the back end ends the session
    ASSERT_EQ(transcriber->calls.size(), 1u);
}

TEST_F(DelayedBackEnd, LanguageWithoutOnDeviceSupportRecordsWithoutPreview) {
    speech->setLanguageSupport("xx_XX", SimSpeechRecognizerService::LanguageSupport{true, false});
    DictationStartOptions o = options(SpeechModel::localWhisper);
    o.languageIdentifier = "xx_XX";
    engine->start(o);
    EXPECT_EQ(speech->recognitions().size(), 0u);
    EXPECT_TRUE(input()->isRunning());
    EXPECT_EQ(transcriber->availabilityChecks, std::vector<std::string>{"xx_XX"});
}

TEST_F(DelayedBackEnd, ImmediateBackEndFailureStillFollowsProgressText) {
    start(SpeechModel::openAICloud);
    // A back end that fails at once, inside the stop call.
    engine->stopAndCommit();
    transcriber->calls[0].completion.finish(failure(DictationEngineError::cloudTranscriptionUnavailable()));
    EXPECT_TRUE(events.empty());
    run();
    EXPECT_EQ(events, (std::vector<std::string>{
                          "partial:Transcribing with OpenAI...",
                          "failed:OpenAI cloud transcription is not available. Check your Tavlo "
                          "service access token and your internet connection."}));
}

TEST_F(DelayedBackEnd, WithoutBackEndLocalWhisperIsUnavailableAndCloudFailsAfterStop) {
    transcriber.reset();
    makeEngine();
    EXPECT_THROW(start(SpeechModel::localWhisper), DictationEngineError);
    start(SpeechModel::openAICloud);
    const auto recording = file()->path();
    engine->stopAndCommit();
    run();
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_EQ(completions[0], failure(DictationEngineError::cloudTranscriptionUnavailable()));
    EXPECT_EQ(temporary->removedFiles(), std::vector{recording});
}

TEST_F(DelayedBackEnd, PrepareAndShutdownReachTheBackEnd) {
    engine->prepareLocalWhisper("nb_NO");
    engine->shutdown();
    run();
    EXPECT_EQ(transcriber->prepared, std::vector<std::string>{"nb_NO"});
    EXPECT_EQ(transcriber->cancelCount, 1);
    EXPECT_EQ(transcriber->shutdownCount, 1);
    EXPECT_EQ(completions, std::vector{success("")});
}

TEST_F(DelayedBackEnd, UsesDelayedTranscriptionFollowsTheSessionModel) {
    EXPECT_FALSE(engine->usesDelayedExternalTranscription());
    start(SpeechModel::openAICloud);
    EXPECT_TRUE(engine->usesDelayedExternalTranscription());
    start(SpeechModel::appleOnDevice);
    EXPECT_FALSE(engine->usesDelayedExternalTranscription());
    start(SpeechModel::localWhisper);
    EXPECT_TRUE(engine->usesDelayedExternalTranscription());
}

}  // namespace
}  // namespace tavlo::testing
