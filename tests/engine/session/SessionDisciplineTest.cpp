// Exactly one completion per session: cancelling, superseding sessions, and
// late callbacks of abandoned sessions or of an engine that is gone.
#include "engine/EngineTestSupport.h"

namespace tavlo::testing {
namespace {

using SessionDiscipline = EngineTest;

TEST_F(SessionDiscipline, CancelOnFreshEngineCompletesEmptyOnce) {
    engine->cancel();
    EXPECT_TRUE(completions.empty());  // never inside the call
    run();
    engine->cancel();
    run();
    EXPECT_EQ(completions, std::vector{success("")});
}

TEST_F(SessionDiscipline, CancelWhileRecordingCompletesEmptyAndDropsLateResults) {
    start(SpeechModel::appleOnDevice);
    auto task = recognition();
    task->sendResult("hello", 0.0);
    run();
    engine->cancel();
    EXPECT_TRUE(task->cancelled());
    EXPECT_TRUE(task->request().audioEnded());
    EXPECT_TRUE(input()->released());
    task->sendFinal("hello world");
    task->sendError(PlatformError("speech", 216, "cancelled"));
    run();
    advance(10s);
    EXPECT_EQ(events, (std::vector<std::string>{"partial:hello", "complete:"}));
}

TEST_F(SessionDiscipline, CancelAfterStopWinsOverFallback) {
    start(SpeechModel::appleOnDevice);
    recognition()->sendResult("hello", 0.0);
    run();
    engine->stopAndCommit();
    advance(1s);
    engine->cancel();
    advance(10s);
    EXPECT_EQ(completions, std::vector{success("")});
}

TEST_F(SessionDiscipline, CancelAfterCompletionDeliversNothingMore) {
    start(SpeechModel::appleOnDevice);
    recognition()->sendFinal("done");
    run();
    engine->cancel();
    engine->cancel();
    run();
    EXPECT_EQ(completions, std::vector{success("done")});
}

TEST_F(SessionDiscipline, CancelDuringUploadAbandonsBackEndWork) {
    start(SpeechModel::openAICloud);
    engine->stopAndCommit();
    ASSERT_EQ(transcriber->calls.size(), 1u);
    const SessionCompletion upload = transcriber->calls[0].completion;
    EXPECT_TRUE(upload.isCurrent());
    engine->cancel();
    EXPECT_EQ(transcriber->cancelCount, 1);
    EXPECT_FALSE(upload.isCurrent());
    upload.finish(success("late reply"));
    run();
    EXPECT_EQ(completions, std::vector{success("")});
}

TEST_F(SessionDiscipline, CancelWhileRecordingDiscardsTheRecording) {
    start(SpeechModel::localWhisper);
    auto recording = file();
    input()->deliverSilence();
    engine->cancel();
    EXPECT_TRUE(recording->closed());
    EXPECT_EQ(temporary->removedFiles(), std::vector{recording->path()});
    EXPECT_TRUE(transcriber->calls.empty());
}

TEST_F(SessionDiscipline, NewStartSupersedesRecordingSession) {
    start(SpeechModel::appleOnDevice);
    auto first = recognition();
    auto firstInput = input();
    first->sendResult("first words", 0.0);
    run();

    start(SpeechModel::appleOnDevice);
    auto second = recognition();
    EXPECT_TRUE(first->cancelled());
    EXPECT_TRUE(firstInput->released());
    first->sendResult("first words and more", 0.0);
    first->sendFinal("first final");
    second->sendResult("second", 0.0);
    run();
    EXPECT_EQ(partials(), (std::vector<std::string>{"first words", "second"}));

    second->sendFinal("second final");
    run();
    EXPECT_EQ(completions, std::vector{success("second final")});
}

TEST_F(SessionDiscipline, NewStartMakesOldFallbackStale) {
    start(SpeechModel::appleOnDevice);
    recognition()->sendResult("first", 0.0);
    run();
    engine->stopAndCommit();
    advance(2s);
    start(SpeechModel::appleOnDevice);
    advance(1s);  // the first session's fallback is due now
    EXPECT_TRUE(completions.empty());
    engine->stopAndCommit();
    advance(2500ms);
    EXPECT_EQ(completions, std::vector{success("")});
}

TEST_F(SessionDiscipline, NewStartIgnoresUploadOfPreviousSession) {
    start(SpeechModel::openAICloud);
    engine->stopAndCommit();
    start(SpeechModel::openAICloud);
    transcriber->calls[0].completion.finish(success("old reply"));
    run();
    EXPECT_TRUE(completions.empty());
    input()->deliverSilence();
    EXPECT_EQ(file()->buffersWritten(), 1u);  // the new session is unaffected
    engine->stopAndCommit();
    ASSERT_EQ(transcriber->calls.size(), 2u);
    transcriber->calls[1].completion.finish(success("new reply"));
    run();
    EXPECT_EQ(completions, std::vector{success("new reply")});
}

TEST_F(SessionDiscipline, ContinuationsDoNothingOnceTheEngineIsGone) {
    start(SpeechModel::localWhisper);
    auto preview = recognition();
    auto capture = input();
    preview->sendResult("hello there", 0.0);
    run();
    engine->stopAndCommit();
    const SessionCompletion upload = transcriber->calls[0].completion;
    engine.reset();
    EXPECT_FALSE(upload.engineExists());
    upload.finish(success("whisper"));
    preview->sendResult("more", 0.0);
    advance(10s);
    EXPECT_EQ(partials(), (std::vector<std::string>{"hello there", "Finalising locally with Whisper..."}));
    EXPECT_TRUE(completions.empty());
}

TEST_F(SessionDiscipline, DestroyingTheEngineStopsCapture) {
    start(SpeechModel::appleOnDevice);
    auto task = recognition();
    auto capture = input();
    engine.reset();
    EXPECT_TRUE(capture->released());
    EXPECT_TRUE(task->cancelled());
    task->sendFinal("late");
    advance(10s);
    EXPECT_TRUE(completions.empty());
}

TEST_F(SessionDiscipline, FailedStartLeavesNoCompletionAndCancelReleasesWhatItHeld) {
    audio->setStartError(PlatformError("pulse", 6, "Connection refused"));
    EXPECT_THROW(start(SpeechModel::openAICloud), PlatformError);
    auto recording = file();
    run();
    advance(10s);
    EXPECT_TRUE(completions.empty());
    EXPECT_FALSE(recording->closed());  // held until the next start, cancel or completion

    engine->cancel();
    EXPECT_TRUE(recording->closed());
    EXPECT_EQ(temporary->removedFiles(), std::vector{recording->path()});
    run();
    EXPECT_EQ(completions, std::vector{success("")});
}

}  // namespace
}  // namespace tavlo::testing
