// A thousand dictations in a row through one controller and one engine on the
// simulated platform, in a reproducible random mix of stops, cancels, refusals,
// failures, lost and late results and the watchdog, with the virtual clock
// moving on by random amounts in between. Every dictation must end exactly
// once and leave nothing behind that the next one could trip over.
#include <gtest/gtest.h>

#include <random>

#include "app/core/DictationSessionFixture.h"

namespace tavlo::testing {
namespace {

class DictationSoak : public DictationSession {
public:
    enum Scenario {
        stopAndFinalResult,
        toggleTwice,
        lostResultAndWatchdog,
        escapeWhileListening,
        cancelWhilePreparing,
        cancelWhileFinishing,
        permissionRefused,
        noMicrophone,
        failureAfterStop,
        recogniserErrorWhileListening,
        releaseWhilePreparing,
        scenarioCount,
    };

    // Runs one dictation of `scenario` and lets the clock run out its timers.
    void dictate(Scenario scenario, bool onDevice, bool heardSomething) {
        store.setSpeechModel(onDevice ? SpeechModel::appleOnDevice : SpeechModel::localWhisper);
        auto speak = [&] {
            if (heardSomething) controller->updatePartialTranscript("hello number " + std::to_string(ends.size()));
        };
        auto finishEngine = [&](DictationResult result) {
            if (onDevice) {
                if (result.isSuccess())
                    recognition()->sendFinal(result.text());
                else
                    recognition()->sendError(PlatformError("Tavlo.Test", 1, "The recogniser failed."));
                run();
            } else {
                transcriptionEnds(std::move(result));
            }
        };

        switch (scenario) {
        case stopAndFinalResult:
            startListening();
            speak();
            controller->stopDictation();
            wait();
            finishEngine(success(heardSomething ? "hello there" : ""));
            break;
        case toggleTwice:
            controller->toggleDictation();
            answerPermissions();
            speak();
            controller->toggleDictation();
            finishEngine(success("cancel that"));
            break;
        case lostResultAndWatchdog: {
            startListening();
            speak();
            DictationEngine::CompletionHandler handler = engine->onComplete;
            std::vector<DictationResult> held;
            engine->onComplete = [&held](const DictationResult& result) { held.push_back(result); };
            controller->stopDictation();
            if (onDevice) advance(3200ms);
            finishEngine(success("late"));
            advance(3200ms);
            for (const DictationResult& result : held) handler(result);
            if (!onDevice) {
                // The delayed models have no watchdog: the late outcome ends it.
                controller->completeDictation(success("late"));
            }
            break;
        }
        case escapeWhileListening:
            startListening();
            speak();
            hotKeys->pressEscape();
            run();
            break;
        case cancelWhilePreparing:
            controller->startDictation();
            controller->cancelDictation();
            answerPermissions();
            break;
        case cancelWhileFinishing:
            startListening();
            speak();
            controller->stopDictation();
            controller->cancelDictation();
            finishEngine(success("too late"));
            break;
        case permissionRefused:
            controller->startDictation();
            answerPermissions(false);
            break;
        case noMicrophone:
            audio->setInputFormat({48000.0, 0});
            controller->startDictation();
            answerPermissions();
            audio->setInputFormat({48000.0, 1});
            break;
        case failureAfterStop:
            startListening();
            speak();
            controller->stopDictation();
            finishEngine(failure(DictationEngineError::localWhisperFailed("crashed")));
            break;
        case recogniserErrorWhileListening:
            startListening();
            if (heardSomething) hear("hello");
            if (onDevice) {
                recognition()->sendError(PlatformError("Tavlo.Test", 2, "The recogniser failed."));
                run();
                // Stop may still come from the user before the error arrives.
                controller->stopDictation();
            } else {
                controller->stopDictation();
                finishEngine(failure(DictationEngineError::localWhisperFailed("crashed")));
            }
            break;
        case releaseWhilePreparing:
            controller->handleHoldTriggerChange(true);
            controller->handleHoldTriggerChange(false);
            answerPermissions();
            advance(80ms);
            if (!onDevice) finishEngine(success("hi"));
            break;
        case scenarioCount:
            break;
        }
        wait();
        advance(4s);
    }

    void wait() { advance(std::chrono::milliseconds(random() % 1500)); }

    std::mt19937 random{20261210};
};

TEST_F(DictationSoak, AThousandDictationsEachEndExactlyOnce) {
    std::vector<int> perScenario(DictationSoak::scenarioCount, 0);
    for (int i = 0; i < 1000; ++i) {
        const auto scenario = static_cast<Scenario>(random() % scenarioCount);
        const bool onDevice = random() % 2 == 0;
        const bool heard = random() % 3 != 0;
        SCOPED_TRACE("dictation " + std::to_string(i) + " scenario " + std::to_string(scenario) +
                     (onDevice ? " on-device" : " whisper") + (heard ? " heard" : " silent"));
        dictate(scenario, onDevice, heard);
        ++perScenario[scenario];

        ASSERT_EQ(ends.size(), static_cast<std::size_t>(i + 1));
        ASSERT_TRUE(isIdle());
        ASSERT_TRUE(controller->hasCompletedCurrentDictation());
        ASSERT_EQ(bubble->state(), B::idle);
        ASSERT_FALSE(controller->hasTargetTextSnapshot());
        // Whatever the engine still owes an abandoned session has been paid.
        ASSERT_EQ(speech->pendingAuthorizationCount(), 0u);
        ASSERT_EQ(audio->pendingMicrophoneRequestCount(), 0u);
    }
    for (int count : perScenario) EXPECT_GT(count, 50);

    // Nothing is left to arrive late.
    advance(60s);
    EXPECT_EQ(ends.size(), 1000u);
    EXPECT_TRUE(isIdle());
    // One capture graph at most is still held (none once the engine is done).
    std::size_t running = 0;
    for (const auto& input : audio->inputs()) running += input->isRunning() ? 1 : 0;
    EXPECT_EQ(running, 0u);
    std::size_t kinds[4] = {};
    for (const DictationEnd& end : ends) ++kinds[static_cast<int>(end.kind)];
    for (std::size_t count : kinds) EXPECT_GT(count, 0u);
}

}  // namespace
}  // namespace tavlo::testing
