// The controller's dictation session on the simulated platform: the states
// and their transitions, the log lines, the timings on a virtual clock, the
// target choice, and the edge cases of late, missing and repeated results.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/core/DictationSessionFixture.h"
#include "text/TextPipeline.h"

namespace tavlo::testing {
namespace {

TEST_F(DictationSession, OneOnDeviceDictationFromStartToTheClipboard) {
    store.setDictionaryWords({"Tavlo", "PipeWire"});
    store.setSpeechLanguageIdentifier("en_GB");

    controller->startDictation();
    EXPECT_TRUE(controller->isProcessingDictation());
    EXPECT_FALSE(controller->isListening());
    EXPECT_EQ(bubble->state(), B::processing);
    EXPECT_EQ(controller->targetAppName(), "Text Editor");
    EXPECT_TRUE(controller->hasTargetTextSnapshot());
    EXPECT_EQ(log, std::vector<std::string>{"record start requested target=Text Editor bundle=org.gnome.TextEditor "
                                            "startSnapshot=true frontmost=Text Editor"});
    EXPECT_TRUE(tones->cues().empty());

    answerPermissions();
    EXPECT_TRUE(controller->isListening());
    EXPECT_TRUE(hotKeys->installed());
    EXPECT_EQ(bubble->state(), B::listening);
    EXPECT_EQ(tones->cues(), std::vector<std::string>{"start"});
    EXPECT_EQ(listeningStarts, 1);
    ASSERT_TRUE(recognition());
    EXPECT_EQ(recognition()->localeIdentifier(), "en_GB");
    EXPECT_EQ(recognition()->request().settings().contextualStrings, (std::vector<std::string>{"Tavlo", "PipeWire"}));

    hear("um hello world");
    EXPECT_EQ(controller->currentPartialTranscript(), "um hello world");
    EXPECT_EQ(observedPartials, std::vector<std::string>{"um hello world"});

    controller->stopDictation();
    EXPECT_EQ(lastLog(), "record stop requested target=Text Editor");
    EXPECT_FALSE(controller->isListening());
    EXPECT_TRUE(controller->isProcessingDictation());
    EXPECT_FALSE(hotKeys->installed());
    EXPECT_EQ(bubble->state(), B::processing);
    EXPECT_EQ(tones->cues(), (std::vector<std::string>{"start", "stop"}));
    EXPECT_TRUE(recognition()->request().audioEnded());

    recognition()->sendFinal("um hello world");
    run();
    EXPECT_EQ(lastLog(), "record complete chars=14 autoPaste=false target=Text Editor");
    EXPECT_TRUE(isIdle());
    EXPECT_EQ(pasteboard->string(), "Hello world.");
    ASSERT_EQ(store.recent().size(), 1u);
    EXPECT_EQ(store.recent()[0].appName, "Text Editor");
    EXPECT_EQ(store.recent()[0].text, "Hello world.");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].kind, Kind::delivered);
    EXPECT_EQ(ends[0].text, "Hello world.");
    EXPECT_FALSE(controller->hasTargetTextSnapshot());

    EXPECT_EQ(bubble->state(), B::success);
    advance(849ms);
    EXPECT_EQ(bubble->state(), B::success);
    advance(1ms);
    EXPECT_EQ(bubble->history(), (std::vector<B>{B::processing, B::listening, B::processing, B::success, B::idle}));
    EXPECT_EQ(statusItem->history(), bubble->history());
    // The watchdog was withdrawn by the completion.
    advance(10s);
    EXPECT_EQ(ends.size(), 1u);
    EXPECT_EQ(log.size(), 3u);
}

// A keyring can take a good part of a second to answer, and the start tone
// waits for the engine to start: only a cloud dictation asks it for its keys.
TEST_F(DictationSession, AnOnDeviceDictationStartsWithoutAskingTheKeyring) {
    ASSERT_TRUE(store.setOpenAIAPIKey("sk-saved"));
    ASSERT_TRUE(store.setServiceAccessToken("token-saved"));
    const std::size_t before = secrets.lookupCount();
    startListening();
    EXPECT_TRUE(controller->isListening());
    EXPECT_EQ(secrets.lookupCount(), before);
}

TEST_F(DictationSession, NewWordsOfADeliveredTextAreLearned) {
    startListening();
    controller->stopDictation();
    recognition()->sendFinal("send it to Marguerite tomorrow");
    run();
    const auto words = store.dictionaryWords();
    EXPECT_NE(std::find(words.begin(), words.end(), "Marguerite"), words.end());
}

TEST_F(DictationSession, TheWatchdogCompletesWithWhatWasHeard) {
    struct Case {
        const char* heard;
        const char* watchdogLog;
        const char* completeLog;
        Kind end;
    };
    const Case cases[] = {
        {"  hello \n", "record watchdog fired partialChars=5 target=Text Editor",
         "record complete chars=5 autoPaste=false target=Text Editor", Kind::delivered},
        {"", "record watchdog fired partialChars=0 target=Text Editor",
         "record complete chars=0 autoPaste=false target=Text Editor", Kind::nothingDelivered},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.heard);
        DictationSession t;
        t.startListening();
        if (*c.heard) t.hear(c.heard);
        // The engine's outcome gets lost on the way, and turns up much later.
        DictationEngine::CompletionHandler controllerHandler = t.engine->onComplete;
        std::vector<DictationResult> held;
        t.engine->onComplete = [&held](const DictationResult& result) { held.push_back(result); };
        t.controller->stopDictation();
        t.advance(3199ms);
        EXPECT_TRUE(t.controller->isProcessingDictation());
        EXPECT_TRUE(t.ends.empty());
        t.advance(1ms);
        ASSERT_GE(t.log.size(), 2u);
        EXPECT_EQ(t.log[t.log.size() - 2], c.watchdogLog);
        EXPECT_EQ(t.log.back(), c.completeLog);
        ASSERT_EQ(t.ends.size(), 1u);
        EXPECT_EQ(t.ends[0].kind, c.end);
        EXPECT_TRUE(t.isIdle());

        ASSERT_EQ(held.size(), 1u);
        const auto pasteboardChanges = t.pasteboard->changeCount();
        controllerHandler(held[0]);
        EXPECT_EQ(t.lastLog(), "record duplicate completion ignored target=Text Editor");
        EXPECT_EQ(t.ends.size(), 1u);
        EXPECT_EQ(t.pasteboard->changeCount(), pasteboardChanges);
    }
}

TEST_F(DictationSession, TheEnginesOwnFallbackComesBeforeTheWatchdog) {
    startListening();
    hear("hello");
    controller->stopDictation();
    advance(3200ms);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].text, "Hello.");
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& line) { return line.find("watchdog") != std::string::npos; }), 0);
}

TEST_F(DictationSession, TheDelayedModelsWaitForTheirTranscriptionWithoutAWatchdog) {
    store.setSpeechModel(SpeechModel::localWhisper);
    startListening();
    controller->stopDictation();
    // The progress text is not the user's text.
    EXPECT_EQ(controller->currentPartialTranscript(), "");
    EXPECT_TRUE(observedPartials.empty());
    advance(60s);
    EXPECT_TRUE(controller->isProcessingDictation());
    EXPECT_EQ(bubble->state(), B::processing);
    transcriptionEnds(success("hello world"));
    EXPECT_EQ(pasteboard->string(), "Hello world.");
    EXPECT_TRUE(isIdle());
}

TEST_F(DictationSession, HowTheFinalResultBecomesTheDeliveredText) {
    struct Case {
        const char* name;
        SpeechModel model;
        std::vector<std::string> partials;
        DictationResult result;
        std::vector<std::string> expectedLogTail;
        Kind end;
        std::optional<std::string> clipboard;
        B bubbleAfter;
    };
    const PlatformError lost("Tavlo.Test", 7, "The recogniser went away.");
    const Case cases[] = {
        {"an empty Whisper result is not replaced by the preview", SpeechModel::localWhisper, {"hello"}, success(""),
         {"record complete chars=0 autoPaste=false target=Text Editor"}, Kind::nothingDelivered, std::nullopt,
         B::idle},
        {"failure with nothing heard shows the error", SpeechModel::localWhisper, {}, failure(lost),
         {"record failure error=The recogniser went away. partialChars=0", "present error=The recogniser went away."},
         Kind::failed, std::nullopt, B::error},
        {"only progress messages count as nothing heard", SpeechModel::openAICloud,
         {" Transcribing with OpenAI...\n", "Finalising locally with Whisper..."}, success(""),
         {"record complete chars=0 autoPaste=false target=Text Editor"}, Kind::nothingDelivered, std::nullopt,
         B::idle},
        {"white space only", SpeechModel::localWhisper, {}, success(" \n\t"),
         {"record complete chars=0 autoPaste=false target=Text Editor"}, Kind::nothingDelivered, std::nullopt,
         B::idle},
        {"the spoken cancel command", SpeechModel::localWhisper, {}, success("cancel that"),
         {"record complete chars=11 autoPaste=false target=Text Editor"}, Kind::nothingDelivered, std::nullopt,
         B::idle},
        {"characters are counted as the user sees them", SpeechModel::localWhisper, {}, success("cafe\xcc\x81 au lait"),
         {"record complete chars=12 autoPaste=false target=Text Editor"}, Kind::delivered, "Cafe\xcc\x81 au lait.",
         B::success},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DictationSession t;
        t.store.setSpeechModel(c.model);
        t.startListening();
        for (const std::string& partial : c.partials) t.controller->updatePartialTranscript(partial);
        t.controller->stopDictation();
        const std::size_t before = t.log.size();
        t.transcriptionEnds(c.result);
        EXPECT_EQ(std::vector<std::string>(t.log.begin() + static_cast<std::ptrdiff_t>(before), t.log.end()),
                  c.expectedLogTail);
        ASSERT_EQ(t.ends.size(), 1u);
        EXPECT_EQ(t.ends[0].kind, c.end);
        EXPECT_EQ(t.pasteboard->string(), c.clipboard);
        EXPECT_EQ(t.store.recent().size(), c.clipboard ? 1u : 0u);
        EXPECT_EQ(t.bubble->state(), c.bubbleAfter);
        EXPECT_TRUE(t.isIdle());
        EXPECT_FALSE(t.controller->hasTargetTextSnapshot());
        // No tone marks the end of a session.
        EXPECT_EQ(t.tones->cues(), (std::vector<std::string>{"start", "stop"}));
    }
}

TEST_F(DictationSession, AFailedTranscriptionIsReportedAndItsPreviewOnlyKeptInTheHistory) {
    struct Case {
        const char* name;
        SpeechModel model;
        DictationEngineError error;
    };
    const Case cases[] = {
        {"Whisper exits with an error", SpeechModel::localWhisper,
         DictationEngineError::localWhisperFailed("whisper-cli exited with status 1")},
        {"the cloud refuses the key", SpeechModel::openAICloud,
         DictationEngineError::cloudTranscriptionFailed("Incorrect API key provided (HTTP 401)")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DictationSession t;
        t.store.setSpeechModel(c.model);
        t.store.setAutoPaste(true);
        t.startListening();
        t.hear("hello there");
        t.controller->stopDictation();
        t.transcriptionEnds(failure(c.error));

        const std::string message = c.error.errorDescription();
        ASSERT_EQ(t.ends.size(), 1u);
        EXPECT_EQ(t.ends[0].kind, Kind::failed);
        EXPECT_EQ(t.ends[0].errorMessage, message);
        EXPECT_EQ(t.ends[0].keptPreview, "hello there");
        EXPECT_EQ(t.bubble->state(), B::error);
        EXPECT_EQ(t.lastLog(), "present error=" + message);
        // Nothing was pasted or copied in the transcription's place...
        EXPECT_EQ(t.pasteboard->string(), std::nullopt);
        EXPECT_FALSE(std::ranges::any_of(t.log, [](const std::string& l) { return l.starts_with("paste start"); }));
        // ...but the preview waits in the history, marked for what it is.
        ASSERT_EQ(t.store.recent().size(), 1u);
        EXPECT_EQ(t.store.recent()[0].text, "hello there");
        EXPECT_EQ(t.store.recent()[0].appName, "Text Editor (on-device text)");
        EXPECT_TRUE(t.isIdle());
    }
}

TEST_F(DictationSession, AMicrophoneLostWhileListeningEndsTheDictationWithWhatWasHeard) {
    struct Case {
        const char* name;
        SpeechModel model;
        std::string heard;  // the live text, or Whisper's and the cloud's text
        Kind end;
        std::optional<std::string> clipboard;
    };
    const Case cases[] = {
        {"on-device", SpeechModel::appleOnDevice, "hello there", Kind::delivered, "Hello there."},
        {"local Whisper", SpeechModel::localWhisper, "hello there", Kind::delivered, "Hello there."},
        {"the cloud", SpeechModel::openAICloud, "hello there", Kind::delivered, "Hello there."},
        {"nothing heard yet", SpeechModel::appleOnDevice, "", Kind::failed, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DictationSession t;
        t.store.setSpeechModel(c.model);
        t.startListening();
        const bool live = c.model == SpeechModel::appleOnDevice;
        if (live && !c.heard.empty()) t.hear(c.heard);
        ASSERT_TRUE(t.input()->loseDevice());
        t.run();
        // The dictation stops by itself, as if the user had stopped it.
        EXPECT_FALSE(t.controller->isListening());
        EXPECT_NE(std::ranges::find(t.log, "record microphone lost target=Text Editor"), t.log.end());
        EXPECT_EQ(t.tones->cues(), (std::vector<std::string>{"start", "stop"}));
        if (live) {
            EXPECT_TRUE(t.recognition()->request().audioEnded());
            t.recognition()->sendFinal(c.heard);
            t.run();
        } else {
            t.transcriptionEnds(success(c.heard));
        }

        ASSERT_EQ(t.ends.size(), 1u);
        EXPECT_EQ(t.ends[0].kind, c.end);
        EXPECT_EQ(t.ends[0].errorMessage, "The microphone was disconnected.");
        EXPECT_EQ(t.pasteboard->string(), c.clipboard);
        EXPECT_EQ(t.bubble->state(), B::error);
        EXPECT_EQ(t.lastLog(), "present error=The microphone was disconnected.");
        EXPECT_TRUE(t.isIdle());

        // The next dictation knows nothing of it.
        t.startListening();
        t.hear("again");
        t.controller->stopDictation();
        if (live)
            t.recognition()->sendFinal("again");
        else
            t.transcriptionEnds(success("again"));
        t.run();
        ASSERT_EQ(t.ends.size(), 2u);
        EXPECT_EQ(t.ends[1].kind, Kind::delivered);
        EXPECT_EQ(t.ends[1].errorMessage, "");
    }
}

TEST_F(DictationSession, TheStyleFollowsTheTargetUnlessCleanupIsOff) {
    struct Case {
        bool cleanup;
        TransformStyle expected;
    };
    for (const Case& c : {Case{true, TransformStyle::professional}, Case{false, TransformStyle::verbatim}}) {
        SCOPED_TRACE(c.cleanup);
        DictationSession t;
        t.store.setSpeechModel(SpeechModel::localWhisper);
        t.store.setCleanupEnabled(c.cleanup);
        t.workspace->setFrontmost(mail);
        t.accessibility->focused.reset();
        t.startListening();
        t.controller->stopDictation();
        const std::string said = "um hey can you send me the file";
        t.transcriptionEnds(success(said));
        EXPECT_EQ(t.pasteboard->string(), TextPipeline::process(said, c.expected, {}).text);
    }
    EXPECT_NE(TextPipeline::process("um hey can you send me the file", TransformStyle::professional, {}).text,
              TextPipeline::process("um hey can you send me the file", TransformStyle::verbatim, {}).text);
}

TEST_F(DictationSession, AutoPasteHandsTheTextToDeliveryOnlyWhereThereIsADesktop) {
    struct Case {
        bool canDeliver;
        const char* logLine;
    };
    for (const Case& c : {Case{true, "record complete chars=5 autoPaste=true target=Text Editor"},
                          Case{false, "record complete chars=5 autoPaste=false target=Text Editor"}}) {
        SCOPED_TRACE(c.canDeliver);
        DictationSession t(c.canDeliver);
        t.store.setAutoPaste(true);
        t.startListening();
        t.controller->stopDictation();
        t.recognition()->sendFinal("hello");
        t.run();
        EXPECT_NE(std::ranges::find(t.log, c.logLine), t.log.end());
        EXPECT_EQ(std::ranges::any_of(t.log, [](const std::string& l) { return l.starts_with("paste start"); }),
                  c.canDeliver);
        // Either way the text is on the clipboard and the history has it.
        EXPECT_EQ(t.pasteboard->string(), "Hello.");
        EXPECT_EQ(t.store.recent().size(), 1u);
        ASSERT_EQ(t.ends.size(), 1u);
        EXPECT_EQ(t.ends[0].kind, Kind::delivered);
    }
}

TEST_F(DictationSession, RequestsThatDoNotFitTheStateDoNothing) {
    // Not listening: stop and cancel do nothing.
    controller->stopDictation();
    controller->cancelDictation();
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(bubble->history().empty());
    EXPECT_TRUE(tones->cues().empty());

    // Preparing: a second start, a toggle and a stop do nothing.
    controller->startDictation();
    controller->startDictation();
    controller->toggleDictation();
    controller->stopDictation();
    EXPECT_EQ(log.size(), 1u);
    EXPECT_EQ(speech->authorizationRequestCount(), 1u);

    // Listening: a start does nothing, a toggle stops.
    answerPermissions();
    controller->startDictation();
    EXPECT_EQ(speech->recognizersMade(), 1u);
    controller->toggleDictation();
    EXPECT_EQ(lastLog(), "record stop requested target=Text Editor");

    // Finishing: start, toggle and stop do nothing.
    controller->startDictation();
    controller->toggleDictation();
    controller->stopDictation();
    EXPECT_EQ(lastLog(), "record stop requested target=Text Editor");
    EXPECT_EQ(tones->cues(), (std::vector<std::string>{"start", "stop"}));

    // After the end a toggle starts again.
    recognition()->sendFinal("hello");
    run();
    controller->toggleDictation();
    EXPECT_TRUE(controller->isProcessingDictation());
}

TEST_F(DictationSession, RecordingKeysWorkOnlyWhileListening) {
    EXPECT_FALSE(hotKeys->pressEscape());
    startListening();
    EXPECT_EQ(hotKeys->installCount(), 1);
    EXPECT_TRUE(hotKeys->pressReturn());
    run();
    EXPECT_EQ(lastLog(), "record stop requested target=Text Editor");
    EXPECT_FALSE(hotKeys->pressEscape());

    recognition()->sendFinal("hello");
    run();
    startListening();
    EXPECT_TRUE(hotKeys->pressEscape());
    run();
    EXPECT_TRUE(isIdle());
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(ends[1].kind, Kind::cancelled);
}

TEST_F(DictationSession, CancelWhileListeningDiscardsEverything) {
    startListening();
    hear("never mind");
    controller->cancelDictation();
    EXPECT_TRUE(isIdle());
    EXPECT_TRUE(controller->hasCompletedCurrentDictation());
    EXPECT_EQ(controller->currentPartialTranscript(), "");
    EXPECT_FALSE(controller->hasTargetTextSnapshot());
    EXPECT_EQ(bubble->state(), B::idle);
    EXPECT_EQ(tones->cues(), (std::vector<std::string>{"start", "cancel"}));
    EXPECT_TRUE(recognition()->cancelled());
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].kind, Kind::cancelled);

    // The engine's empty completion for the cancelled session is ignored.
    run();
    EXPECT_EQ(lastLog(), "record duplicate completion ignored target=Text Editor");
    advance(10s);
    EXPECT_EQ(ends.size(), 1u);
    EXPECT_EQ(pasteboard->changeCount(), 0);
    EXPECT_TRUE(store.recent().empty());
}

TEST_F(DictationSession, CancelWhileFinishingIgnoresTheLateTranscript) {
    store.setSpeechModel(SpeechModel::localWhisper);
    startListening();
    controller->stopDictation();
    controller->cancelDictation();
    EXPECT_TRUE(isIdle());
    EXPECT_EQ(tones->cues(), (std::vector<std::string>{"start", "stop", "cancel"}));
    transcriptionEnds(success("too late"));
    EXPECT_EQ(pasteboard->changeCount(), 0);
    EXPECT_EQ(ends.size(), 1u);
}

TEST_F(DictationSession, APermissionAnswerForACancelledSessionStartsNothing) {
    controller->startDictation();
    controller->cancelDictation();
    EXPECT_TRUE(isIdle());
    EXPECT_EQ(tones->cues(), std::vector<std::string>{"cancel"});
    answerPermissions();
    EXPECT_EQ(speech->recognizersMade(), 0u);
    EXPECT_TRUE(audio->inputs().empty());
    EXPECT_TRUE(isIdle());
    EXPECT_EQ(bubble->state(), B::idle);

    // Nor does a late answer reach a newer session that waits for its own.
    controller->startDictation();
    controller->cancelDictation();
    controller->startDictation();
    answerPermissions();
    EXPECT_EQ(speech->recognizersMade(), 1u);
    EXPECT_TRUE(controller->isListening());
    EXPECT_EQ(listeningStarts, 1);
}

TEST_F(DictationSession, RefusalsAndStartFailuresShowTheErrorAndReleaseEverything) {
    struct Case {
        const char* name;
        std::function<void(DictationSession&)> arrange;
        bool answerGranted;
        std::string message;
        std::vector<B> bubbleHistory;
    };
    const Case cases[] = {
        {"own key mode without a key",
         [](auto& t) {
             t.store.setSpeechModel(SpeechModel::openAICloud);
             t.store.setOpenAICloudMode(OpenAICloudMode::apiKey);
         },
         true, "Save your OpenAI API key in Home before using Own OpenAI key mode.", {B::idle, B::error}},
        {"speech recognition refused", [](auto&) {}, false,
         DictationEngineError::recognitionDenied().errorDescription(), {B::processing, B::error}},
        {"microphone refused", [](auto& t) { t.store.setSpeechModel(SpeechModel::localWhisper); }, false,
         DictationEngineError::microphoneDenied().errorDescription(), {B::processing, B::error}},
        {"no microphone", [](auto& t) { t.audio->setInputFormat({48000.0, 0}); }, true,
         "No microphone input is available.", {B::processing, B::error}},
        {"local Whisper without a model for the language",
         [](auto& t) {
             t.store.setSpeechModel(SpeechModel::localWhisper);
             t.transcriber->localWhisperInstalled = false;
             t.transcriber->unavailableReason = "German needs a multilingual Whisper model.";
         },
         true, "German needs a multilingual Whisper model.", {B::processing, B::error}},
        {"capture cannot start",
         [](auto& t) { t.audio->setStartError(PlatformError("Tavlo.Audio", 3, "The sound server went away.")); }, true,
         "The sound server went away.", {B::processing, B::error}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DictationSession t;
        c.arrange(t);
        t.controller->startDictation();
        t.answerPermissions(c.answerGranted);
        EXPECT_EQ(t.lastLog(), "present error=" + c.message);
        EXPECT_TRUE(t.isIdle());
        EXPECT_EQ(t.hotKeys->installCount(), 0);
        EXPECT_TRUE(t.tones->cues().empty());
        EXPECT_FALSE(t.controller->hasTargetTextSnapshot());
        ASSERT_EQ(t.ends.size(), 1u);
        EXPECT_EQ(t.ends[0].kind, Kind::failed);
        EXPECT_EQ(t.ends[0].errorMessage, c.message);
        EXPECT_EQ(t.bubble->history(), c.bubbleHistory);
        // Shown for four seconds, long enough to read its tooltip.
        t.advance(3999ms);
        EXPECT_EQ(t.bubble->state(), B::error);
        t.advance(1ms);
        EXPECT_EQ(t.bubble->state(), B::idle);
    }
}

TEST_F(DictationSession, ANewDictationWithinTheErrorTimeKeepsItsOwnState) {
    audio->setInputFormat({48000.0, 0});
    controller->startDictation();
    answerPermissions();
    EXPECT_EQ(bubble->state(), B::error);
    audio->setInputFormat({48000.0, 1});
    advance(500ms);
    startListening();
    advance(3500ms);  // the error's return to idle is due now
    EXPECT_EQ(bubble->state(), B::listening);
}

TEST_F(DictationSession, AReleaseWhilePreparingStopsShortlyAfterListeningBegins) {
    controller->handleHoldTriggerChange(true);
    EXPECT_TRUE(controller->isProcessingDictation());
    controller->handleHoldTriggerChange(false);
    // Not listening yet: nothing to stop, but the release is remembered.
    EXPECT_TRUE(controller->isProcessingDictation());
    answerPermissions();
    EXPECT_TRUE(controller->isListening());
    advance(79ms);
    EXPECT_TRUE(controller->isListening());
    advance(1ms);
    EXPECT_FALSE(controller->isListening());
    EXPECT_EQ(lastLog(), "record stop requested target=Text Editor");
}

TEST_F(DictationSession, AnEndedSessionForgetsAReleaseThatCameWhilePreparing) {
    controller->handleHoldTriggerChange(true);
    controller->handleHoldTriggerChange(false);
    controller->cancelDictation();
    startListening();
    advance(1s);
    EXPECT_TRUE(controller->isListening());
}

struct TargetCase {
    const char* name;
    std::function<void(DictationSession&)> arrange;
    std::string targetAppName;
    std::string startLog;
};

TEST_F(DictationSession, TheTargetIsTheFirstExternalApplicationFound) {
    const auto selfField = std::make_shared<SimTextField>(4242);
    const TargetCase cases[] = {
        {"the focused field's owner wins over the front application",
         [](auto& t) {
             t.accessibility->focused = std::make_shared<SimTextField>(300, "$ ");
             t.workspace->setFrontmost(mail);
         },
         "Terminal", "bundle=org.gnome.Terminal startSnapshot=true frontmost=Thunderbird Mail"},
        {"a focused element without text still names its owner",
         [](auto& t) { t.accessibility->focused = std::make_shared<SimTextField>(200, std::nullopt); },
         "Thunderbird Mail", "bundle=org.mozilla.Thunderbird startSnapshot=false frontmost=Text Editor"},
        {"untrusted: the front application",
         [](auto& t) {
             t.accessibility->focused = std::make_shared<SimTextField>(200, std::nullopt);
             t.accessibility->trusted = false;
         },
         "Text Editor", "bundle=org.gnome.TextEditor startSnapshot=false frontmost=Text Editor"},
        {"this program in front: the last external application",
         [selfField](auto& t) {
             t.accessibility->focused = selfField;
             t.workspace->activate(t.workspace->currentApplication());
         },
         "Text Editor", "bundle=org.gnome.TextEditor startSnapshot=true frontmost=Tavlo"},
        {"a field of an application that has quit",
         [](auto& t) {
             t.accessibility->focused = std::make_shared<SimTextField>(999, "x");
             t.workspace->setFrontmost(std::nullopt);
         },
         "Text Editor", "bundle=org.gnome.TextEditor startSnapshot=true frontmost=none"},
        {"nothing at all",
         [](auto& t) {
             t.accessibility->focused.reset();
             t.workspace->setFrontmost(t.workspace->currentApplication());
             t.controller->followActiveApplications();
         },
         "Active App", "bundle=unknown startSnapshot=false frontmost=Tavlo"},
        {"an application without a name",
         [](auto& t) {
             t.accessibility->focused.reset();
             const RunningApplication nameless{500, std::nullopt, std::nullopt};
             t.workspace->launch(nameless);
             t.workspace->activate(nameless);
         },
         "Active App", "bundle=unknown startSnapshot=false frontmost=none"},
    };
    for (const TargetCase& c : cases) {
        SCOPED_TRACE(c.name);
        DictationSession t;
        c.arrange(t);
        t.controller->startDictation();
        EXPECT_EQ(t.controller->targetAppName(), c.targetAppName);
        EXPECT_EQ(t.lastLog(), "record start requested target=" + c.targetAppName + " " + c.startLog);
    }
}

TEST_F(DictationSession, ActivationsOfOtherApplicationsAreRemembered) {
    EXPECT_EQ(controller->lastExternalApplication(), editor);
    workspace->activate(mail);
    EXPECT_EQ(controller->lastExternalApplication(), mail);
    workspace->activate(workspace->currentApplication());
    EXPECT_EQ(controller->lastExternalApplication(), mail);
}

TEST_F(DictationSession, ExternalMeansAnotherProcessAndAnotherBundle) {
    struct Case {
        RunningApplication app;
        bool external;
    };
    // This program is pid 4242 with bundle "app.tavlo.Tavlo".
    const Case cases[] = {
        {{100, "org.gnome.TextEditor", "Text Editor"}, true},
        {{4242, "org.gnome.TextEditor", "Text Editor"}, false},
        {{100, "app.tavlo.Tavlo", "Tavlo helper"}, false},
        {{100, std::nullopt, "unnamed"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.app.processIdentifier);
        EXPECT_EQ(controller->isExternalApplication(c.app), c.external);
    }
    // Two absent bundle identifiers are equal.
    AppDelegatePorts ports;
    ports.store = &store;
    ports.dictationEngine = engine;
    ports.mainQueue = queue;
    ports.workspace = std::make_shared<SimWorkspace>(RunningApplication{4242, std::nullopt, "Tavlo"});
    auto other = AppDelegate::create(std::move(ports));
    EXPECT_FALSE(other->isExternalApplication({100, std::nullopt, "unnamed"}));
    EXPECT_TRUE(other->isExternalApplication({100, "org.gnome.TextEditor", "Text Editor"}));
}

TEST_F(DictationSession, WithoutADesktopTheDictationStillRuns) {
    AppDelegatePorts ports;
    ports.store = &store;
    ports.dictationEngine = engine;
    ports.mainQueue = queue;
    ports.pasteboard = pasteboard;
    ports.logDiagnostic = [this](std::string_view line) { log.emplace_back(line); };
    ports.canDeliverIntoApplications = false;
    auto headless = AppDelegate::create(std::move(ports));
    store.setAutoPaste(true);
    headless->startDictation();
    EXPECT_EQ(lastLog(), "record start requested target=Active App bundle=unknown startSnapshot=false frontmost=none");
    answerPermissions();
    ASSERT_TRUE(headless->isListening());
    recognition()->sendResult("hello there");
    run();
    headless->stopDictation();
    recognition()->sendFinal("hello there");
    run();
    EXPECT_EQ(lastLog(), "record complete chars=11 autoPaste=false target=Active App");
    EXPECT_EQ(pasteboard->string(), "Hello there.");
    EXPECT_EQ(store.recent().at(0).appName, "Active App");
}

TEST_F(DictationSession, NothingRunsAfterTheControllerIsGone) {
    startListening();
    controller->stopDictation();
    std::weak_ptr<AppDelegate> weak = controller;
    controller.reset();
    EXPECT_TRUE(weak.expired());
    recognition()->sendFinal("hello");
    run();
    advance(10s);
    EXPECT_EQ(pasteboard->changeCount(), 0);
}

}  // namespace
}  // namespace tavlo::testing
