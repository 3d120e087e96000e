// The controller's file transcription on the simulated platform: every check,
// message and outcome, with the engine's back end completed by hand and a
// virtual clock for the bubble's timed returns to idle.
#include <gtest/gtest.h>

#include "app/core/AppDelegate.h"
#include "app/core/ControllerHubHost.h"
#include "engine/EngineTestSupport.h"
#include "platform/sim/InMemoryPasteboard.h"
#include "platform/sim/InMemoryPreferenceStore.h"
#include "platform/sim/InMemorySecretStore.h"
#include "platform/sim/ManualWallClock.h"
#include "platform/sim/SimBubbleDisplay.h"
#include "platform/sim/SimUserFiles.h"
#include "platform/sim/SimulatedHostEnvironment.h"

namespace tavlo::testing {
namespace {

namespace fs = std::filesystem;
using B = BubbleState;

class FileTranscriptionFlow : public EngineTest {
public:
    FileTranscriptionFlow() {
        host.variables["LANG"] = "en_US.UTF-8";
        store.setSpeechModel(SpeechModel::localWhisper);
        AppDelegatePorts ports;
        ports.store = &store;
        ports.dictationEngine = engine;
        ports.mainQueue = queue;
        ports.pasteboard = pasteboard;
        ports.userFiles = userFiles;
        ports.logDiagnostic = [this](std::string_view line) { log.emplace_back(line); };
        controller = AppDelegate::create(std::move(ports));
        controller->setBubbleWindow(bubble);
        controller->setStatusItem(statusItem);
    }

    // Table rows build a fresh fixture each.
    void TestBody() override {}

    void transcribe(const fs::path& source = "/music/interview.m4a") {
        controller->transcribeFile(source, [this](const FileTranscriptionResult& result) { results.push_back(result); });
        run();
    }
    // Completes the back end's latest job with `result`.
    void engineCompletes(DictationResult result) {
        ASSERT_FALSE(transcriber->calls.empty());
        transcriber->calls.back().completion.finish(std::move(result));
        run();
    }
    std::string lastMessage() const {
        if (results.empty()) return "<no result>";
        if (results.back().isSuccess()) return "<success>";
        return errorDescription(results.back().error());
    }
    bool lastErrorIsFileTranscriptionError() const {
        if (results.empty() || results.back().isSuccess()) return false;
        const auto* error = std::get_if<PlatformError>(&results.back().error());
        return error && error->domain() == "Tavlo.FileTranscription" && error->code() == 1;
    }

    InMemoryPreferenceStore preferences;
    InMemorySecretStore secrets;
    SimulatedHostEnvironment host;
    ManualWallClock clock;
    SettingsStore store{preferences, secrets, host, clock};
    std::shared_ptr<InMemoryPasteboard> pasteboard = std::make_shared<InMemoryPasteboard>();
    std::shared_ptr<SimUserFiles> userFiles = std::make_shared<SimUserFiles>();
    std::shared_ptr<SimBubbleDisplay> bubble = std::make_shared<SimBubbleDisplay>();
    std::shared_ptr<SimStatusItem> statusItem = std::make_shared<SimStatusItem>();
    std::shared_ptr<AppDelegate> controller;
    std::vector<FileTranscriptionResult> results;
    std::vector<std::string> log;
};

TEST_F(FileTranscriptionFlow, RefusesBeforeTheEngineIsAsked) {
    struct Case {
        const char* name;
        std::function<void(FileTranscriptionFlow&)> arrange;
        const char* message;
    };
    const Case cases[] = {
        {"on-device speech", [](auto& t) { t.store.setSpeechModel(SpeechModel::appleOnDevice); },
         "Choose Local Whisper or OpenAI cloud before transcribing a file."},
        {"own key without a key",
         [](auto& t) {
             t.store.setSpeechModel(SpeechModel::openAICloud);
             t.store.setOpenAICloudMode(OpenAICloudMode::apiKey);
         },
         "Save your OpenAI API key in Home before using Own OpenAI key mode."},
        {"local Whisper not installed", [](auto& t) { t.transcriber->localWhisperInstalled = false; },
         "Local Whisper is required for file transcription, or switch Speech to OpenAI cloud."},
        {"local Whisper saying what it lacks",
         [](auto& t) {
             t.transcriber->localWhisperInstalled = false;
             t.transcriber->unavailableReason = "German needs a multilingual Whisper model.";
         },
         "German needs a multilingual Whisper model."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileTranscriptionFlow t;
        c.arrange(t);
        t.transcribe();
        EXPECT_EQ(t.lastMessage(), c.message);
        EXPECT_TRUE(t.lastErrorIsFileTranscriptionError());
        EXPECT_TRUE(t.transcriber->calls.empty());
        EXPECT_TRUE(t.temporary->copies().empty());
        EXPECT_EQ(t.log, std::vector<std::string>{std::string("present error=") + c.message});
        EXPECT_FALSE(t.controller->isProcessingDictation());
        EXPECT_EQ(t.bubble->state(), B::error);
        t.advance(3999ms);
        EXPECT_EQ(t.bubble->state(), B::error);
        t.advance(1ms);
        EXPECT_EQ(t.bubble->state(), B::idle);
        EXPECT_EQ(t.statusItem->history(), (std::vector<B>{B::error, B::idle}));
    }
}

TEST_F(FileTranscriptionFlow, OwnKeyModeWithAStoredKeyAndTheServiceModeMayStart) {
    store.setSpeechModel(SpeechModel::openAICloud);
    store.setOpenAICloudMode(OpenAICloudMode::apiKey);
    store.setOpenAIAPIKey("sk-test");
    store.setServiceAccessToken("service-token");
    store.setSpeechLanguageIdentifier("fr_FR");
    transcribe();
    ASSERT_EQ(transcriber->calls.size(), 1u);
    const DelayedTranscriptionJob& job = transcriber->calls[0].job;
    EXPECT_EQ(job.model, SpeechModel::openAICloud);
    EXPECT_EQ(job.openAIAPIKey, "sk-test");
    EXPECT_EQ(job.serviceAccessToken, "service-token");
    EXPECT_EQ(job.languageIdentifier, "fr_FR");

    engineCompletes(success("bonjour"));
    store.setOpenAICloudMode(OpenAICloudMode::service);
    store.setOpenAIAPIKey(std::nullopt);
    transcribe();
    EXPECT_EQ(transcriber->calls.size(), 2u);
}

TEST_F(FileTranscriptionFlow, SuccessCopiesRecordsAndSavesBesideTheSource) {
    transcribe("/music/interview.m4a");
    EXPECT_TRUE(controller->isProcessingDictation());
    EXPECT_EQ(controller->targetAppName(), "File");
    EXPECT_EQ(bubble->state(), B::processing);
    // The progress text is a status, not a transcript.
    EXPECT_EQ(controller->currentPartialTranscript(), "");

    engineCompletes(success("  um hello world \n"));
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0].isSuccess());
    const FileTranscriptionOutput expected{"/music/interview.m4a", "/music/interview-transcript.txt", "Hello world."};
    EXPECT_EQ(results[0].output(), expected);
    EXPECT_EQ(userFiles->files.at("/music/interview-transcript.txt"), "Hello world.");
    EXPECT_EQ(pasteboard->string(), "Hello world.");
    ASSERT_EQ(store.recent().size(), 1u);
    EXPECT_EQ(store.recent()[0].appName, "interview.m4a");
    EXPECT_EQ(store.recent()[0].text, "Hello world.");
    EXPECT_FALSE(controller->isProcessingDictation());
    EXPECT_TRUE(log.empty());

    EXPECT_EQ(bubble->state(), B::success);
    advance(849ms);
    EXPECT_EQ(bubble->state(), B::success);
    advance(1ms);
    EXPECT_EQ(bubble->history(), (std::vector<B>{B::processing, B::success, B::idle}));
}

TEST_F(FileTranscriptionFlow, CleanupOffKeepsTheTranscriptVerbatim) {
    store.setCleanupEnabled(false);
    transcribe();
    engineCompletes(success("um hello world"));
    ASSERT_TRUE(results.at(0).isSuccess());
    EXPECT_EQ(results[0].output().text, "hello world");
}

// In a recording, "I mean" or "scratch that" is what someone said, not an
// instruction to Tavlo: the whole transcript is kept.
TEST_F(FileTranscriptionFlow, CuePhrasesInARecordingAreKeptAsSpoken) {
    transcribe();
    engineCompletes(success("We start at nine. I mean, most days. Scratch that, every day."));
    ASSERT_TRUE(results.at(0).isSuccess());
    EXPECT_EQ(results[0].output().text, "We start at nine. I mean, most days. Scratch that, every day.");
    EXPECT_EQ(userFiles->files.at("/music/interview-transcript.txt"), results[0].output().text);
}

TEST_F(FileTranscriptionFlow, NothingToDeliverIsAFailureWithNothingCopied) {
    struct Case {
        const char* transcript;
        const char* message;
    };
    const Case cases[] = {
        {" \n\t ", "File transcription returned no text."},
        {"cancel that", "File transcription cancelled."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.transcript);
        FileTranscriptionFlow t;
        t.transcribe();
        t.engineCompletes(success(c.transcript));
        EXPECT_EQ(t.lastMessage(), c.message);
        EXPECT_TRUE(t.lastErrorIsFileTranscriptionError());
        EXPECT_EQ(t.pasteboard->changeCount(), 0);
        EXPECT_TRUE(t.store.recent().empty());
        EXPECT_TRUE(t.userFiles->files.empty());
        EXPECT_EQ(t.bubble->state(), B::idle);
        EXPECT_FALSE(t.controller->isProcessingDictation());
    }
}

TEST_F(FileTranscriptionFlow, EngineFailuresAreShownAndPassedOn) {
    // Asynchronous: the back end fails.
    transcribe();
    engineCompletes(failure(DictationEngineError::localWhisperFailed("whisper-cli crashed")));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(std::get<DictationEngineError>(results[0].error()),
              DictationEngineError::localWhisperFailed("whisper-cli crashed"));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "present error=" + lastMessage());
    EXPECT_EQ(bubble->history(), (std::vector<B>{B::processing, B::idle, B::error}));

    // Synchronous: the source cannot be copied.
    const PlatformError unreadable("posix", 2, "Could not read \"gone.m4a\": No such file or directory.");
    temporary->setCopyError(unreadable);
    transcribe("/music/gone.m4a");
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(std::get<PlatformError>(results[1].error()), unreadable);
    EXPECT_EQ(log.back(), "present error=Could not read \"gone.m4a\": No such file or directory.");
    EXPECT_FALSE(controller->isProcessingDictation());
    EXPECT_EQ(bubble->state(), B::error);
}

TEST_F(FileTranscriptionFlow, AReadOnlySourceFolderSavesInTheDocumentsFolder) {
    userFiles->readOnlyFolders = {"/media/disc"};
    transcribe("/media/disc/lecture.mp4");
    engineCompletes(success("hello"));
    ASSERT_TRUE(results.at(0).isSuccess());
    EXPECT_EQ(results[0].output().outputURL, fs::path("/home/user/Documents/lecture-transcript.txt"));
    EXPECT_EQ(userFiles->files.count("/home/user/Documents/lecture-transcript.txt"), 1u);

    // Without a documents folder the temporary folder takes it.
    userFiles->documents.reset();
    transcribe("/media/disc/lecture.mp4");
    engineCompletes(success("hello"));
    ASSERT_TRUE(results.at(1).isSuccess());
    EXPECT_EQ(results[1].output().outputURL, fs::path("/tmp/lecture-transcript.txt"));
}

TEST_F(FileTranscriptionFlow, WhenNothingCanBeSavedTheTextIsStillCopiedAndRecorded) {
    userFiles->readOnlyFolders = {"/media/disc", "/home/user/Documents"};
    transcribe("/media/disc/lecture.mp4");
    engineCompletes(success("hello"));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(lastMessage(), "Could not write \"lecture-transcript.txt\": Permission denied.");
    EXPECT_EQ(pasteboard->string(), "Hello.");
    EXPECT_EQ(store.recent().size(), 1u);
    EXPECT_EQ(log, std::vector<std::string>{"present error=Transcript copied, but the text file could not be saved: "
                                            "Could not write \"lecture-transcript.txt\": Permission denied."});
    EXPECT_EQ(bubble->history(), (std::vector<B>{B::processing, B::success, B::error}));
    // The success tick's return to idle finds the error and leaves it.
    advance(850ms);
    EXPECT_EQ(bubble->state(), B::error);
    advance(3150ms);
    EXPECT_EQ(bubble->state(), B::idle);
}

TEST_F(FileTranscriptionFlow, ASecondRequestWhileOneRunsIsRefusedAndTheFirstCarriesOn) {
    transcribe("/music/first.m4a");
    transcribe("/music/second.m4a");
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(lastMessage(), "Finish the current dictation before transcribing a file.");
    EXPECT_TRUE(lastErrorIsFileTranscriptionError());
    EXPECT_EQ(transcriber->calls.size(), 1u);
    // The running session is untouched and still delivers.
    EXPECT_TRUE(controller->isProcessingDictation());
    EXPECT_EQ(bubble->state(), B::processing);
    engineCompletes(success("first file"));
    ASSERT_EQ(results.size(), 2u);
    ASSERT_TRUE(results[1].isSuccess());
    EXPECT_EQ(results[1].output().sourceURL, fs::path("/music/first.m4a"));
}

TEST_F(FileTranscriptionFlow, CancelFromHomeEndsTheSessionAndNothingIsDelivered) {
    ControllerHubHost hubHost(controller);
    transcribe();
    ASSERT_TRUE(controller->isProcessingDictation());
    hubHost.cancelFileTranscription();
    run();
    EXPECT_FALSE(controller->isProcessingDictation());
    EXPECT_EQ(bubble->state(), B::idle);
    // The completion still comes (Home drops it), and nothing is copied or saved.
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results.back().isSuccess());
    EXPECT_EQ(pasteboard->changeCount(), 0);
    EXPECT_TRUE(store.recent().empty());
    EXPECT_TRUE(userFiles->files.empty());
    // A new file may be transcribed at once.
    transcribe("/music/next.m4a");
    engineCompletes(success("next file"));
    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results.back().isSuccess());
}

TEST_F(FileTranscriptionFlow, PartialTextKeepsSpeechButNotStatusMessages) {
    for (const char* status : {"Transcribing with OpenAI...", " Transcribing file with OpenAI...\n",
                               "Transcribing file locally with Whisper...", "Finalising locally with Whisper..."}) {
        controller->updatePartialTranscript(status);
        EXPECT_EQ(controller->currentPartialTranscript(), "") << status;
    }
    controller->updatePartialTranscript("hello there");
    EXPECT_EQ(controller->currentPartialTranscript(), "hello there");
}

}  // namespace
}  // namespace tavlo::testing
