// A write error of the recording file happens on the capture thread; the
// session must end exactly as if it had happened on the main thread.
#include <atomic>
#include <thread>

#include "engine/EngineTestSupport.h"

namespace tavlo::testing {
namespace {

const PlatformError diskFull("posix", 28, "No space left on device");

using RecordingWriteError = EngineTest;

TEST_F(RecordingWriteError, EndsSessionOnceFromCaptureThread) {
    files->setWriteError(diskFull, 3);
    start(SpeechModel::localWhisper);
    auto capture = input();
    auto recording = file();
    auto preview = recognition();
    preview->sendResult("some words", 0.0);
    run();

    // The capture thread keeps delivering while the main thread runs its
    // queue; the session's end removes the tap under the capture thread's feet.
    std::atomic<bool> stopCapture{false};
    std::atomic<int> delivered{0};
    std::thread captureThread([&] {
        while (!stopCapture.load()) {
            if (capture->deliverSilence()) delivered.fetch_add(1);
            std::this_thread::yield();
        }
    });
    for (int spins = 0; completions.empty() && spins < 1'000'000; ++spins) {
        run();
        std::this_thread::yield();
    }
    stopCapture = true;
    captureThread.join();

    ASSERT_EQ(completions.size(), 1u);
    EXPECT_EQ(completions[0], failure(diskFull));
    EXPECT_GE(delivered.load(), 4);
    EXPECT_EQ(recording->buffersWritten(), 3u);
    EXPECT_EQ(preview->request().appendedBufferCount(), 3u);  // not after the failing buffer
    EXPECT_TRUE(recording->closed());
    EXPECT_TRUE(capture->released());
    EXPECT_TRUE(preview->cancelled());
    EXPECT_EQ(temporary->removedFiles(), std::vector{recording->path()});

    engine->stopAndCommit();
    run();
    advance(60s);
    EXPECT_EQ(completions.size(), 1u);
    EXPECT_TRUE(transcriber->calls.empty());
}

TEST_F(RecordingWriteError, ErrorOfAbandonedSessionIsIgnored) {
    files->setWriteError(diskFull);
    start(SpeechModel::openAICloud);
    auto capture = input();
    std::thread captureThread([capture] { capture->deliverSilence(); });
    captureThread.join();
    // The failure is waiting on the main queue when a new session starts.
    files->setWriteError(std::nullopt);
    start(SpeechModel::openAICloud);
    run();
    EXPECT_TRUE(completions.empty());
    input()->deliverSilence();
    engine->stopAndCommit();
    transcriber->calls.at(0).completion.finish(success("fine"));
    run();
    EXPECT_EQ(completions, std::vector{success("fine")});
}

TEST_F(RecordingWriteError, ErrorAfterStopStillEndsTheSessionOnce) {
    files->setWriteError(diskFull);
    start(SpeechModel::openAICloud);
    auto capture = input();
    std::thread captureThread([capture] { capture->deliverSilence(); });
    captureThread.join();
    // Stop runs before the main queue handled the failure: the failure is
    // still handled before any answer of the back end, which reaches the
    // main queue later.
    engine->stopAndCommit();
    queue->post([completion = transcriber->calls.at(0).completion] { completion.finish(success("too late")); });
    run();
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_EQ(completions[0], failure(diskFull));
}

}  // namespace
}  // namespace tavlo::testing
