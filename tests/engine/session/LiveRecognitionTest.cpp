// The on-device model: partials while speaking, the final result after stop,
// recogniser errors, and the fallback when no final result comes.
#include <thread>

#include "engine/EngineTestSupport.h"

namespace tavlo::testing {
namespace {

using LiveRecognition = EngineTest;

TEST_F(LiveRecognition, FinalResultAfterStopCompletesOnce) {
    DictationStartOptions o = options(SpeechModel::appleOnDevice);
    o.contextualStrings = {"Tavlo", "PipeWire"};
    o.languageIdentifier = "de_DE";
    engine->start(o);

    auto task = recognition();
    ASSERT_TRUE(task);
    EXPECT_EQ(task->localeIdentifier(), "de_DE");
    RecognitionRequestSettings expected;
    expected.contextualStrings = {"Tavlo", "PipeWire"};
    EXPECT_EQ(task->request().settings(), expected);
    EXPECT_TRUE(input()->isRunning());
    EXPECT_EQ(input()->tapBufferFrames(), 1024u);
    input()->deliverSilence();
    EXPECT_EQ(task->request().appendedBufferCount(), 1u);

    task->sendResult("hello", 0.0);
    run();
    EXPECT_EQ(partials(), std::vector<std::string>{"hello"});

    engine->stopAndCommit();
    EXPECT_TRUE(task->request().audioEnded());
    EXPECT_FALSE(input()->isRunning());
    EXPECT_FALSE(input()->hasTap());
    run();
    EXPECT_TRUE(completions.empty());

    task->sendFinal("hello world", 0.0);
    task->sendError(PlatformError("speech", 1, "late error"));
    run();
    advance(10s);
    EXPECT_EQ(completions, std::vector{success("hello world")});
    EXPECT_EQ(events, (std::vector<std::string>{"partial:hello", "partial:hello world",
                                                "complete:hello world"}));
    EXPECT_TRUE(task->cancelled());
    EXPECT_TRUE(input()->released());
}

TEST_F(LiveRecognition, DefaultLanguageIsTheUserLocale) {
    start(SpeechModel::appleOnDevice);
    EXPECT_EQ(recognition()->localeIdentifier(), "en_GB");
}

TEST_F(LiveRecognition, FinalResultWhileSpeakingEndsSession) {
    start(SpeechModel::appleOnDevice);
    recognition()->sendFinal("all done");
    run();
    EXPECT_EQ(completions, std::vector{success("all done")});
    EXPECT_TRUE(input()->released());
    engine->stopAndCommit();  // nothing is running any more
    run();
    EXPECT_EQ(completions.size(), 1u);
}

struct RecognizerErrorCase {
    const char* name;
    std::vector<std::string> partialsBefore;
    bool stopFirst;
    bool expectSuccess;
    std::string expectedText;
};

class LiveRecognizerError : public EngineTest,
                            public ::testing::WithParamInterface<RecognizerErrorCase> {};

TEST_P(LiveRecognizerError, CommitsPartialTextOrReportsError) {
    const RecognizerErrorCase& c = GetParam();
    const PlatformError error("speech", 203, "Recognition failed.");
    start(SpeechModel::appleOnDevice);
    for (const std::string& text : c.partialsBefore) recognition()->sendResult(text, 0.0);
    run();
    if (c.stopFirst) engine->stopAndCommit();
    recognition()->sendError(error);
    run();
    advance(10s);
    ASSERT_EQ(completions.size(), 1u);
    if (c.expectSuccess)
        EXPECT_EQ(completions[0], success(c.expectedText));
    else
        EXPECT_EQ(completions[0], failure(error));  // the platform's error, unchanged
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LiveRecognizerError,
    ::testing::Values(RecognizerErrorCase{"WithPartialText", {"hello", "hello there"}, false, true, "hello there"},
                      RecognizerErrorCase{"WithPartialTextAfterStop", {"hello"}, true, true, "hello"},
                      RecognizerErrorCase{"WithoutPartialText", {}, false, false, ""},
                      RecognizerErrorCase{"WithoutPartialTextAfterStop", {}, true, false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LiveRecognition, MissingFinalResultFallsBackAfterTwoAndAHalfSeconds) {
    start(SpeechModel::appleOnDevice);
    recognition()->sendResult("hello there", 0.0);
    run();
    engine->stopAndCommit();
    advance(2499ms);
    EXPECT_TRUE(completions.empty());
    recognition()->sendResult("hello there friend", 0.0);  // still counts before the deadline
    advance(1ms);
    EXPECT_EQ(completions, std::vector{success("hello there friend")});

    recognition()->sendFinal("too late");
    run();
    advance(10s);
    EXPECT_EQ(completions.size(), 1u);
}

TEST_F(LiveRecognition, FallbackWithoutAnyTextCommitsEmptyText) {
    start(SpeechModel::appleOnDevice);
    engine->stopAndCommit();
    advance(2500ms);
    EXPECT_EQ(completions, std::vector{success("")});
}

TEST_F(LiveRecognition, StopWithoutSessionFinishesAtOnceWithLastPartial) {
    engine->stopAndCommit();
    EXPECT_TRUE(completions.empty());  // never inside the call
    run();
    EXPECT_EQ(completions, std::vector{success("")});
    engine->stopAndCommit();
    run();
    EXPECT_EQ(completions.size(), 1u);
}

TEST_F(LiveRecognition, CallbackCurrentWhenOutcomeIsIssuedIsCalled) {
    start(SpeechModel::appleOnDevice);
    std::vector<std::string> replaced;
    recognition()->sendFinal("done");
    // Runs after the final result issued the completion, before it is delivered.
    queue->post([&] { engine->onComplete = [&](const DictationResult& r) { replaced.push_back(r.text()); }; });
    run();
    EXPECT_EQ(completions, std::vector{success("done")});
    EXPECT_TRUE(replaced.empty());

    start(SpeechModel::appleOnDevice);
    recognition()->sendFinal("second");
    run();
    EXPECT_EQ(replaced, std::vector<std::string>{"second"});
}

TEST_F(LiveRecognition, ResultsFromAnotherThreadAreHandledOnTheMainQueue) {
    start(SpeechModel::appleOnDevice);
    auto task = recognition();
    std::thread recognizerThread([task] {
        task->sendResult("hello", 0.0);
        task->sendFinal("hello world", 0.0);
    });
    recognizerThread.join();
    EXPECT_TRUE(events.empty());
    run();
    EXPECT_EQ(events, (std::vector<std::string>{"partial:hello", "partial:hello world",
                                                "complete:hello world"}));
}

}  // namespace
}  // namespace tavlo::testing
