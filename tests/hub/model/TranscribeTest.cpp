// File transcription from the hub: the working state, each result, cancelling,
// the engine's refusal shown before a file is chosen, and the copy and show
// buttons.
#include <functional>

#include "HubTestSupport.h"
#include "hub/model/FileTranscriptionMessages.h"

namespace tavlo::testing {
namespace {

class TranscribeTest : public HubModelTest {
protected:
    // An engine that can transcribe files, unless a test says otherwise.
    TranscribeTest() { store.setSpeechModel(SpeechModel::localWhisper); }

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

    // Which of the section's buttons may be pressed.
    std::string enabledButtons() {
        std::string buttons;
        if (transcribe().canChooseFile()) buttons += "choose ";
        if (transcribe().canCopyTranscript()) buttons += "copy ";
        if (transcribe().canShowSavedFile()) buttons += "show ";
        if (transcribe().isWorking()) buttons += "cancel ";
        return buttons;
    }
};

TEST_F(TranscribeTest, InitialStateOffersOnlyChoosing) {
    EXPECT_EQ(transcribe().status(), "Drop an audio or video file here, or choose one from your computer.");
    EXPECT_EQ(transcribe().statusTone(), TranscribeViewModel::Tone::normal);
    EXPECT_EQ(transcribe().transcript(), "");
    EXPECT_EQ(transcribe().transcriptViewText(), "No file transcribed yet.");
    EXPECT_EQ(transcribe().savedFile(), std::nullopt);
    EXPECT_EQ(enabledButtons(), "choose ");
}

TEST_F(TranscribeTest, WorkingThenDone) {
    hub->render(HubSection::history);
    takeEvents();
    transcribe().startFileTranscription("/home/tester/Music/talk.mp3");

    EXPECT_EQ(transcribe().status(), "Transcribing talk.mp3...");
    EXPECT_EQ(transcribe().statusTone(), TranscribeViewModel::Tone::working);
    EXPECT_EQ(transcribe().transcriptViewText(), "Working. The transcript will appear here when it is ready.");
    EXPECT_EQ(transcribe().savedFile(), std::nullopt);
    // Nothing to copy yet, and no second file while this one runs.
    EXPECT_EQ(enabledButtons(), "cancel ");
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"render Transcribe", "refresh"}));
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"transcribe:/home/tester/Music/talk.mp3"}));

    // The user looks at History meanwhile; the result brings Transcribe back.
    hub->render(HubSection::history);
    takeEvents();
    answer(success());

    EXPECT_EQ(transcribe().status(), "Copied to clipboard and saved: talk-transcript.txt");
    EXPECT_EQ(transcribe().statusTone(), TranscribeViewModel::Tone::success);
    EXPECT_EQ(transcribe().transcriptViewText(), "Hello from the file.");
    EXPECT_EQ(transcribe().savedFile(), std::filesystem::path("/home/tester/Music/talk-transcript.txt"));
    EXPECT_EQ(enabledButtons(), "choose copy show ");
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"render Transcribe", "refresh"}));
    EXPECT_EQ(hub->selectedSection(), HubSection::transcribe);
    EXPECT_EQ(feedback->ticks, 1);

    EXPECT_EQ(transcribe().savedFileToReveal(), std::filesystem::path("/home/tester/Music/talk-transcript.txt"));
    EXPECT_EQ(feedback->ticks, 2);
}

TEST_F(TranscribeTest, AFailureIsShownAsAnErrorAndTheLastSuccessStays) {
    transcribe().startFileTranscription("/tmp/a.wav");
    answer(success("The first file."));
    transcribe().startFileTranscription("/tmp/b.wav");
    answer(FileTranscriptionResult::failure(DictationEngineError::cloudTranscriptionFailed("HTTP 500")));

    EXPECT_EQ(transcribe().status(), "HTTP 500");
    EXPECT_EQ(transcribe().statusTone(), TranscribeViewModel::Tone::error);
    EXPECT_EQ(transcribe().transcriptViewText(), "The first file.");
    EXPECT_EQ(transcribe().savedFile(), std::filesystem::path("/home/tester/Music/talk-transcript.txt"));
    EXPECT_EQ(enabledButtons(), "choose copy show ");
    takeHostCalls();
    transcribe().copyTranscript();
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"copy:The first file."}));

    // A failure with no success before it leaves nothing to act on.
    makeHub();
    transcribe().startFileTranscription("/tmp/c.wav");
    answer(FileTranscriptionResult::failure(PlatformError("posix", 2, "No such file or directory")));
    EXPECT_EQ(transcribe().transcriptViewText(), "No file transcribed yet.");
    EXPECT_EQ(enabledButtons(), "choose ");
    const int beeps = feedback->beeps;
    EXPECT_EQ(transcribe().savedFileToReveal(), std::nullopt);
    transcribe().copyTranscript();
    EXPECT_EQ(feedback->beeps, beeps + 2);
}

TEST_F(TranscribeTest, FailureMessagesAreShortAndNameNoWorkPaths) {
    struct Case {
        EngineError error;
        std::string shown;
    };
    const std::string whisperFallback =
        "Local Whisper could not transcribe this file. Check that the file plays, or switch Speech to OpenAI cloud.";
    const std::vector<Case> cases{
        // The back ends' own short sentences are kept.
        {fileTranscriptionError("Finish the current dictation before transcribing a file."),
         "Finish the current dictation before transcribing a file."},
        {DictationEngineError::localWhisperFailed("Local Whisper server did not become ready."),
         "Local Whisper server did not become ready."},
        {DictationEngineError::localWhisperUnavailable(),
         DictationEngineError::localWhisperUnavailable().errorDescription()},
        {DictationEngineError::localWhisperFailed(""), "Local Whisper transcription failed."},
        // Tool output naming private work files, in any spelling, is replaced.
        {DictationEngineError::localWhisperFailed("error: failed to read WAV file '/tmp/tavlo-x1/input.wav'"),
         whisperFallback},
        {DictationEngineError::localWhisperFailed("could not open ~/.cache/tavlo/models/ggml-base.bin"),
         whisperFallback},
        {DictationEngineError::localWhisperFailed("ffmpeg failed (tmp/tavlo/work.wav)"), whisperFallback},
        {DictationEngineError::localWhisperFailed("whisper_init: failed\nmain: error: invalid model"),
         whisperFallback},
        {DictationEngineError::localWhisperFailed(std::string(200, 'x')), whisperFallback},
        {DictationEngineError::cloudTranscriptionFailed("upload of file:///home/me/a.mp3 failed"),
         "OpenAI cloud could not transcribe this file. Check your internet connection and try again."},
        {PlatformError("posix", 13, "Permission denied: /home/me/Music/a.mp3"),
         "The file could not be read. Check that it still exists and plays in a media player."},
        // Ordinary words with slashes are not paths.
        {fileTranscriptionError("Audio/video format not supported."), "Audio/video format not supported."},
    };
    for (const auto& [error, shown] : cases) {
        SCOPED_TRACE(errorDescription(error));
        EXPECT_EQ(fileTranscriptionFailureMessage(error), shown);
    }
}

TEST_F(TranscribeTest, ARefusalInsideTheCallEndsInTheFailedState) {
    appHost->answerAtOnce = FileTranscriptionResult::failure(
        fileTranscriptionError("Finish the current dictation before transcribing a file."));
    transcribe().startFileTranscription("/tmp/a.wav");
    EXPECT_EQ(transcribe().status(), "Finish the current dictation before transcribing a file.");
    EXPECT_EQ(transcribe().statusTone(), TranscribeViewModel::Tone::error);
    EXPECT_FALSE(transcribe().isWorking());
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

TEST_F(TranscribeTest, CancelStopsTheHostAndDropsTheResult) {
    transcribe().startFileTranscription("/tmp/a.wav");
    answer(success("Kept."));
    transcribe().startFileTranscription("/tmp/b.wav");
    takeHostCalls();
    takeEvents();

    transcribe().cancelFileTranscription();
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"cancelTranscription"}));
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"render Transcribe", "refresh"}));
    EXPECT_FALSE(transcribe().isWorking());
    EXPECT_EQ(transcribe().status(), "Transcription cancelled.");
    EXPECT_EQ(transcribe().statusTone(), TranscribeViewModel::Tone::normal);
    EXPECT_EQ(transcribe().transcriptViewText(), "Kept.");
    EXPECT_EQ(enabledButtons(), "choose copy show ");

    // The stopped session still ends with a result: it must not show.
    answer(FileTranscriptionResult::failure(fileTranscriptionError("File transcription returned no text.")));
    EXPECT_EQ(transcribe().status(), "Transcription cancelled.");
    EXPECT_TRUE(takeEvents().empty());

    // Cancelling with nothing running does nothing; a new file works again.
    transcribe().cancelFileTranscription();
    EXPECT_TRUE(takeHostCalls().empty());
    transcribe().startFileTranscription("/tmp/c.wav");
    answer(success("New."));
    EXPECT_EQ(transcribe().transcriptViewText(), "New.");
}

TEST_F(TranscribeTest, AResultAfterTheModelIsGoneIsDropped) {
    transcribe().startFileTranscription("/tmp/a.wav");
    hub.reset();
    takeEvents();
    answer(success());
    EXPECT_TRUE(takeEvents().empty());
    EXPECT_EQ(feedback->ticks, 0);
}

TEST_F(TranscribeTest, CopyTakesTheTrimmedTranscriptAndBeepsWithNone) {
    transcribe().copyTranscript();
    EXPECT_EQ(feedback->beeps, 1);

    transcribe().startFileTranscription("/tmp/a.wav");
    takeHostCalls();
    // The working message is not a transcript.
    transcribe().copyTranscript();
    EXPECT_EQ(feedback->beeps, 2);
    answer(success("  \nThe text.\n "));
    transcribe().copyTranscript();
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"copy:The text."}));
}

TEST_F(TranscribeTest, DropTakesTheFirstFileAndRefusesAnEmptyDrop) {
    EXPECT_FALSE(transcribe().filesDropped({}));
    EXPECT_TRUE(takeHostCalls().empty());
    EXPECT_TRUE(transcribe().filesDropped({"/tmp/one.mov", "/tmp/two.mov", "/tmp/three.mov"}));
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"transcribe:/tmp/one.mov"}));
    EXPECT_EQ(feedback->beeps, 0);
    // A second drop while the first runs is refused.
    EXPECT_FALSE(transcribe().filesDropped({"/tmp/two.mov"}));
    EXPECT_TRUE(takeHostCalls().empty());
    EXPECT_EQ(feedback->beeps, 1);
}

TEST_F(TranscribeTest, AnEngineThatCannotTranscribeFilesIsNamedBeforeAFileIsChosen) {
    struct Case {
        const char* name;
        std::function<void(SettingsStore&, FakeEnvironment&)> setUp;
        std::optional<std::string> reason;
    };
    const std::vector<Case> cases{
        {"on-device", [](SettingsStore& store, FakeEnvironment& environment) {
             (void)environment; store.setSpeechModel(SpeechModel::appleOnDevice); },
         "On-device speech cannot transcribe files. Choose Local Whisper or OpenAI cloud under Speech in Home."},
        {"whisper not ready",
         [](SettingsStore& store, FakeEnvironment& environment) {
             (void)environment;
             store.setSpeechModel(SpeechModel::localWhisper);
             environment.whisperReady = false;
         },
         "Local Whisper is not ready: install whisper.cpp or download a model in Home, or switch Speech to OpenAI "
         "cloud."},
        {"own key missing",
         [](SettingsStore& store, FakeEnvironment& environment) {
             (void)environment;
             store.setSpeechModel(SpeechModel::openAICloud);
             store.setOpenAICloudMode(OpenAICloudMode::apiKey);
         },
         "Save your OpenAI API key in Home before using Own OpenAI key mode."},
        {"own key saved",
         [](SettingsStore& store, FakeEnvironment& environment) {
             (void)environment;
             store.setSpeechModel(SpeechModel::openAICloud);
             store.setOpenAICloudMode(OpenAICloudMode::apiKey);
             store.setOpenAIAPIKey("sk-test");
         },
         std::nullopt},
        {"service", [](SettingsStore& store, FakeEnvironment& environment) {
             (void)environment;
             store.setSpeechModel(SpeechModel::openAICloud);
             store.setOpenAICloudMode(OpenAICloudMode::service);
         },
         std::nullopt},
        {"whisper ready", [](SettingsStore& store, FakeEnvironment& environment) {
             (void)environment; store.setSpeechModel(SpeechModel::localWhisper); }, std::nullopt},
    };
    for (const auto& [name, setUp, reason] : cases) {
        SCOPED_TRACE(name);
        environment->reset();
        store.setOpenAIAPIKey(std::nullopt);
        setUp(store, *environment);
        makeHub();
        EXPECT_EQ(transcribe().unavailableReason(), reason);
        if (reason) {
            EXPECT_EQ(transcribe().status(), *reason);
            EXPECT_EQ(transcribe().statusTone(), TranscribeViewModel::Tone::error);
            EXPECT_EQ(enabledButtons(), "");
            const int beeps = feedback->beeps;
            takeHostCalls();
            EXPECT_FALSE(transcribe().filesDropped({"/tmp/a.wav"}));
            EXPECT_EQ(feedback->beeps, beeps + 1);
            EXPECT_TRUE(takeHostCalls().empty());
        } else {
            EXPECT_EQ(enabledButtons(), "choose ");
        }
    }
}

TEST_F(TranscribeTest, AFailedRevealIsReportedAsAnError) {
    transcribe().startFileTranscription("/tmp/a.wav");
    answer(success());
    transcribe().revealFailed();
    EXPECT_EQ(transcribe().statusTone(), TranscribeViewModel::Tone::error);
    EXPECT_EQ(transcribe().status(), "No file manager could show the file. The transcript is saved as talk-transcript.txt.");
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
