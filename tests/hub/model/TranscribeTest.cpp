// File transcription from the hub: the working state, each result, and the
// copy and show buttons.
#include <functional>

#include "HubTestSupport.h"

namespace tavlo::testing {
namespace {

class TranscribeTest : public HubModelTest {
protected:
    TranscribeViewModel& transcribe() { return hub->transcribe(); }

    static FileTranscriptionResult success(const std::string& text = "Hello from the file.") {
        return FileTranscriptionResult::success(
            {"/home/tester/Music/talk.mp3", "/home/tester/Music/talk-transcript.txt", text});
    }

    // Answers the oldest waiting transcription.
    void answer(const FileTranscriptionResult& result) {
        ASSERT_FALSE(appHost->transcriptions.empty());
        auto completion = std::move(appHost->transcriptions.front());
        appHost->transcriptions.erase(appHost->transcriptions.begin());
        completion(result);
    }
};

TEST_F(TranscribeTest, InitialState) {
    EXPECT_EQ(transcribe().status(), "Drop an audio or video file here, or choose one from your computer.");
    EXPECT_EQ(transcribe().transcript(), "");
    EXPECT_EQ(transcribe().transcriptViewText(), "No file transcribed yet.");
    EXPECT_EQ(transcribe().savedFile(), std::nullopt);
}

TEST_F(TranscribeTest, WorkingThenDone) {
    hub->render(HubSection::history);
    takeEvents();
    transcribe().startFileTranscription("/home/tester/Music/talk.mp3");

    EXPECT_EQ(transcribe().status(), "Transcribing talk.mp3...");
    EXPECT_EQ(transcribe().transcriptViewText(), "Working. The transcript will appear here when it is ready.");
    EXPECT_EQ(transcribe().savedFile(), std::nullopt);
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"render Transcribe", "refresh"}));
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"transcribe:/home/tester/Music/talk.mp3"}));

    // The user looks at History meanwhile; the result brings Transcribe back.
    hub->render(HubSection::history);
    takeEvents();
    answer(success());

    EXPECT_EQ(transcribe().status(), "Copied to clipboard and saved: talk-transcript.txt");
    EXPECT_EQ(transcribe().transcriptViewText(), "Hello from the file.");
    EXPECT_EQ(transcribe().savedFile(), std::filesystem::path("/home/tester/Music/talk-transcript.txt"));
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"render Transcribe", "refresh"}));
    EXPECT_EQ(hub->selectedSection(), HubSection::transcribe);
    EXPECT_EQ(feedback->ticks, 1);

    EXPECT_EQ(transcribe().savedFileToReveal(), std::filesystem::path("/home/tester/Music/talk-transcript.txt"));
    EXPECT_EQ(feedback->ticks, 2);
}

TEST_F(TranscribeTest, EachFailureShowsItsMessageAndClearsTheResult) {
    const std::vector<std::pair<EngineError, std::string>> failures{
        {fileTranscriptionError("Choose Local Whisper or OpenAI cloud before transcribing a file."),
         "Choose Local Whisper or OpenAI cloud before transcribing a file."},
        {DictationEngineError::localWhisperUnavailable(),
         DictationEngineError::localWhisperUnavailable().errorDescription()},
        {DictationEngineError::cloudTranscriptionFailed("HTTP 500"),
         DictationEngineError::cloudTranscriptionFailed("HTTP 500").errorDescription()},
        {PlatformError("posix", 2, "No such file or directory"), "No such file or directory"},
    };
    for (const auto& [error, message] : failures) {
        SCOPED_TRACE(message);
        // An earlier success must not leave its file behind.
        transcribe().startFileTranscription("/tmp/a.wav");
        answer(success());
        transcribe().startFileTranscription("/tmp/b.wav");
        answer(FileTranscriptionResult::failure(error));

        EXPECT_EQ(transcribe().status(), message);
        EXPECT_EQ(transcribe().transcript(), "");
        EXPECT_EQ(transcribe().transcriptViewText(), "No file transcribed yet.");
        EXPECT_EQ(transcribe().savedFile(), std::nullopt);
        const int beeps = feedback->beeps;
        EXPECT_EQ(transcribe().savedFileToReveal(), std::nullopt);
        transcribe().copyTranscript();
        EXPECT_EQ(feedback->beeps, beeps + 2);
    }
}

TEST_F(TranscribeTest, ARefusalInsideTheCallEndsInTheFailedState) {
    appHost->answerAtOnce = FileTranscriptionResult::failure(
        fileTranscriptionError("Finish the current dictation before transcribing a file."));
    transcribe().startFileTranscription("/tmp/a.wav");
    EXPECT_EQ(transcribe().status(), "Finish the current dictation before transcribing a file.");
    EXPECT_EQ(transcribe().savedFile(), std::nullopt);
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"render Transcribe", "refresh", "render Transcribe", "refresh"}));
}

TEST_F(TranscribeTest, TheLastResultToArriveIsShown) {
    transcribe().startFileTranscription("/tmp/first.wav");
    transcribe().startFileTranscription("/tmp/second.wav");
    EXPECT_EQ(transcribe().status(), "Transcribing second.wav...");
    answer(FileTranscriptionResult::failure(fileTranscriptionError("first failed")));
    EXPECT_EQ(transcribe().status(), "first failed");
    answer(success("second text"));
    EXPECT_EQ(transcribe().transcript(), "second text");
}

TEST_F(TranscribeTest, AResultAfterTheModelIsGoneIsDropped) {
    transcribe().startFileTranscription("/tmp/a.wav");
    hub.reset();
    takeEvents();
    answer(success());
    EXPECT_TRUE(takeEvents().empty());
    EXPECT_EQ(feedback->ticks, 0);
}

TEST_F(TranscribeTest, CopyTakesTheTrimmedTextEvenWhileWorking) {
    transcribe().copyTranscript();
    EXPECT_EQ(feedback->beeps, 1);

    transcribe().startFileTranscription("/tmp/a.wav");
    takeHostCalls();
    transcribe().copyTranscript();
    answer(success("  \nThe text.\n "));
    transcribe().copyTranscript();
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"copy:Working. The transcript will appear here when it is ready.",
                                                         "copy:The text."}));
}

TEST_F(TranscribeTest, DropTakesTheFirstFileAndRefusesAnEmptyDrop) {
    EXPECT_FALSE(transcribe().filesDropped({}));
    EXPECT_TRUE(takeHostCalls().empty());
    EXPECT_TRUE(transcribe().filesDropped({"/tmp/one.mov", "/tmp/two.mov", "/tmp/three.mov"}));
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"transcribe:/tmp/one.mov"}));
    EXPECT_EQ(feedback->beeps, 0);
}

TEST_F(TranscribeTest, ChoosingAFileTicks) {
    transcribe().chooseFileRequested();
    EXPECT_EQ(feedback->ticks, 1);
}

TEST_F(TranscribeTest, WithoutAHostTheWorkingStateShows) {
    appHost.reset();
    transcribe().startFileTranscription("/tmp/a.wav");
    EXPECT_EQ(transcribe().status(), "Transcribing a.wav...");
}

}  // namespace
}  // namespace tavlo::testing
