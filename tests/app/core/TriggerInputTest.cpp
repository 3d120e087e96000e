// The triggers in virtual time, driven through the simulated key monitor and
// global shortcuts the way the desktop reports keys: duplicates, releases
// that come late or early, double taps, modifier-only triggers and the pause
// while a shortcut is being recorded.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/core/DictationSessionFixture.h"

namespace tavlo::testing {
namespace {

using namespace std::chrono_literals;
using namespace CarbonModifier;

constexpr std::uint32_t space = 49, c = 8;

class TriggerInput : public DictationSession {
public:  // table rows build a fresh fixture each
    void SetUp() override {
        hotKeyManager->delegate = controller;
        controller->installTriggerMonitors();
        controller->reloadHotKeys();
    }
    int startRequests() const {
        return static_cast<int>(std::count_if(log.begin(), log.end(), [](const std::string& line) {
            return line.rfind("record start requested", 0) == 0;
        }));
    }
    int stopRequests() const {
        return static_cast<int>(std::count_if(log.begin(), log.end(), [](const std::string& line) {
            return line.rfind("record stop requested", 0) == 0;
        }));
    }
    // The final text arrives and the session completes.
    void finishSession() {
        hear("hello");
        recognition()->sendFinal("hello");
        run();
    }
};

TEST_F(TriggerInput, TheMonitorIsInstalledAtLaunch) {
    EXPECT_TRUE(keys->started());
    EXPECT_NE(std::find(log.begin(), log.end(), "function monitor installed eventTap=true"), log.end());
}

TEST_F(TriggerInput, OneFunctionPressFromTwoSourcesStartsOneDictation) {
    keys->function(true);
    controller->handleFunctionFlagChange(true);  // the same press, seen again
    answerPermissions();
    EXPECT_TRUE(controller->isListening());
    EXPECT_EQ(startRequests(), 1);
    EXPECT_NE(std::find(log.begin(), log.end(), "fn down listening=false processing=false latched=false"), log.end());
    keys->function(false);
    keys->function(false);
    advance(339ms);
    EXPECT_TRUE(controller->isListening());
    advance(1ms);
    EXPECT_FALSE(controller->isListening());
    EXPECT_EQ(stopRequests(), 1);
}

TEST_F(TriggerInput, AKeyHoldTriggerNeedsItsExactModifiersButEndsOnTheKeyAlone) {
    store.setHoldTrigger(TriggerShortcut::key(KeyShortcut::make(space, control | option, "Ctrl+Opt+Space")));
    keys->key(space, control, true);  // only Ctrl: not the trigger
    keys->key(space, control, false);
    run();
    EXPECT_EQ(startRequests(), 0);

    keys->key(space, control | option, true);
    keys->key(space, control | option, true);  // auto-repeat
    answerPermissions();
    EXPECT_TRUE(controller->isListening());
    // The modifiers are released first; Space goes up with none held.
    keys->modifiers(control);
    keys->modifiers(0);
    keys->key(space, 0, false);
    advance(340ms);
    EXPECT_FALSE(controller->isListening());
    EXPECT_EQ(startRequests(), 1);
    EXPECT_EQ(stopRequests(), 1);
}

TEST_F(TriggerInput, ADoubleTapLatchesUntilTheThirdPress) {
    keys->function(true);
    answerPermissions();
    keys->function(false);
    advance(200ms);
    keys->function(true);  // within the window: latched
    EXPECT_EQ(bubble->state(), B::listening);
    keys->function(false);
    advance(2s);
    EXPECT_TRUE(controller->isListening()) << "the latched session ignores the release";
    keys->function(true);  // the third press stops
    EXPECT_FALSE(controller->isListening());
    EXPECT_EQ(stopRequests(), 1);
    keys->function(false);  // and its release does nothing
    finishSession();
    advance(2s);
    EXPECT_EQ(stopRequests(), 1);
    EXPECT_TRUE(isIdle());
    // Every end of a session clears the latch: the next hold is a plain hold.
    keys->function(true);
    answerPermissions();
    keys->function(false);
    advance(340ms);
    EXPECT_FALSE(controller->isListening());
}

TEST_F(TriggerInput, TheBubbleTellsAHeldDictationFromAHandsFreeOne) {
    keys->function(true);
    answerPermissions();
    ASSERT_EQ(bubble->state(), B::listening);
    EXPECT_FALSE(bubble->handsFree()) << "held: letting go stops it";
    keys->function(false);
    advance(200ms);
    keys->function(true);  // a double tap latches
    EXPECT_TRUE(bubble->handsFree());
    keys->function(false);
    keys->function(true);  // the third press stops
    keys->function(false);
    EXPECT_FALSE(bubble->handsFree()) << "no longer listening";
    finishSession();
    advance(2s);
    ASSERT_TRUE(isIdle());
    // Started by a click on the bubble (or the press trigger): hands-free
    // from the start.
    controller->toggleDictation();
    answerPermissions();
    ASSERT_EQ(bubble->state(), B::listening);
    EXPECT_TRUE(bubble->handsFree());
}

TEST_F(TriggerInput, ASecondPressAfterTheStopWaitsForTheFirstDictationToFinish) {
    keys->function(true);
    answerPermissions();
    keys->function(false);
    advance(500ms);  // stopped 0.34 s after the release
    EXPECT_FALSE(controller->isListening());
    EXPECT_TRUE(controller->isProcessingDictation());
    keys->function(true);  // still finishing: nothing starts
    run();
    EXPECT_EQ(startRequests(), 1);
    keys->function(false);
    finishSession();
    keys->function(true);
    answerPermissions();
    EXPECT_EQ(startRequests(), 2);
    EXPECT_TRUE(controller->isListening());
}

TEST_F(TriggerInput, AModifierOnlyPressTriggerTogglesOnEachExactMatch) {
    store.setHoldTrigger(TriggerShortcut::key(KeyShortcut::make(space, control | shift, "Ctrl+Shift+Space")));
    store.setPressTrigger(TriggerShortcut::modifierOnly(control | option, "Ctrl+Opt"));
    keys->modifiers(control);
    keys->modifiers(control | option);  // exact: start
    answerPermissions();
    EXPECT_TRUE(controller->isListening());
    keys->modifiers(control | option);  // the same state again: nothing
    keys->modifiers(control | option | shift);  // no longer exact
    keys->modifiers(control | option);          // exact again: stop
    EXPECT_FALSE(controller->isListening());
    EXPECT_EQ(startRequests(), 1);
    EXPECT_EQ(stopRequests(), 1);
}

TEST_F(TriggerInput, AModifierOnlyHoldTriggerHoldsAndTheFunctionKeyThenDoesNothing) {
    store.setHoldTrigger(TriggerShortcut::modifierOnly(control | option, "Ctrl+Opt"));
    keys->function(true);  // Fn is the press trigger by default, but the hold trigger is not Fn
    run();
    EXPECT_TRUE(controller->isProcessingDictation()) << "the Fn press trigger still starts";
    controller->cancelDictation();
    keys->function(false);
    run();
    keys->modifiers(control | option);
    answerPermissions();
    EXPECT_TRUE(controller->isListening());
    keys->modifiers(control);
    advance(340ms);
    EXPECT_FALSE(controller->isListening());
}

// Escape and Return pressed while the hold trigger is still down carry the
// trigger's own modifiers (Right Ctrl standing in for Fn makes Escape
// Ctrl+Escape, and its press ends as the other key goes down); they act all
// the same. A modifier the user adds is not the trigger's: Shift+Escape is
// left to the application.
TEST_F(TriggerInput, EscapeAndReturnActWhileTheTriggerIsHeld) {
    struct Case {
        const char* name;
        std::function<void(TriggerInput&)> holdTrigger;
        std::function<void(TriggerInput&)> otherKeyGoesDown;  // what the key monitor reports meanwhile
        std::uint32_t held;                                    // the modifiers the key arrives with
        bool escape;                                           // Escape, or else Return
        Kind end;
        std::vector<std::string> tones;
    };
    auto rightCtrl = [](TriggerInput& t) {
        t.keys->functionModifiers = control;
        t.keys->function(true);
    };
    auto functionEnds = [](TriggerInput& t) { t.keys->function(false); };
    auto ctrlAlt = [](TriggerInput& t) {
        t.store.setHoldTrigger(TriggerShortcut::modifierOnly(control | option, "Ctrl+Alt"));
        t.keys->modifiers(control | option);
    };
    auto nothing = [](TriggerInput&) {};
    const Case cases[] = {
        {"Escape with Right Ctrl held cancels", rightCtrl, functionEnds, control, true, Kind::cancelled,
         {"start", "cancel"}},
        {"Return with Right Ctrl held stops", rightCtrl, functionEnds, control, false, Kind::delivered,
         {"start", "stop"}},
        {"Escape with Ctrl+Alt held cancels", ctrlAlt, nothing, control | option, true, Kind::cancelled,
         {"start", "cancel"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TriggerInput t;
        t.SetUp();
        c.holdTrigger(t);
        t.answerPermissions();
        ASSERT_TRUE(t.controller->isListening());
        t.hear("hello there");
        c.otherKeyGoesDown(t);
        EXPECT_TRUE(t.hotKeys->pressEscape(c.held | shift) == false) << "a modifier the user added";
        EXPECT_TRUE(c.escape ? t.hotKeys->pressEscape(c.held) : t.hotKeys->pressReturn(c.held));
        t.run();
        if (!c.escape) {
            t.recognition()->sendFinal("hello there");
            t.run();
        }
        // Long past the stop that the trigger's release would have made.
        t.advance(1s);
        ASSERT_EQ(t.ends.size(), 1u);
        EXPECT_EQ(t.ends[0].kind, c.end);
        EXPECT_EQ(t.tones->cues(), c.tones);
        EXPECT_EQ(t.pasteboard->string(), c.end == Kind::cancelled ? std::nullopt
                                                                   : std::optional<std::string>("Hello there."));
        EXPECT_TRUE(t.isIdle());
    }
}

TEST_F(TriggerInput, WhileAShortcutIsRecordedNoTriggerActsButTheFunctionKeyIsFollowed) {
    controller->setShortcutCaptureActive(true);
    EXPECT_EQ(lastLog(), "shortcut capture started; global hotkeys disabled");
    EXPECT_TRUE(hotKeyService->registered().empty());
    keys->function(true);
    keys->modifiers(control | option);
    EXPECT_FALSE(hotKeyService->press(105, 0));
    run();
    EXPECT_EQ(startRequests(), 0);

    controller->setShortcutCaptureActive(false);
    EXPECT_EQ(lastLog(), "shortcut capture ended; global hotkeys reloading");
    EXPECT_TRUE(hotKeyService->isRegistered(105, 0));
    // The key went down during the capture: its release is the next change.
    keys->function(true);
    run();
    EXPECT_EQ(startRequests(), 0);
    keys->function(false);
    keys->function(true);
    run();
    EXPECT_EQ(startRequests(), 1);
}

TEST_F(TriggerInput, GlobalShortcutsToggleAndAskForARepolish) {
    store.setPressTrigger(TriggerShortcut::key(KeyShortcut::make(c, control | shift, "Ctrl+Shift+C")));
    controller->reloadHotKeys();
    EXPECT_EQ(controller->shortcutStatusText(), "All shortcuts registered");

    ASSERT_TRUE(hotKeyService->press(105, 0));  // the mouse trigger starts
    answerPermissions();
    EXPECT_TRUE(controller->isListening());
    ASSERT_TRUE(hotKeyService->press(c, control | shift));  // the press trigger stops
    run();
    EXPECT_FALSE(controller->isListening());
    EXPECT_EQ(startRequests(), 1);
    EXPECT_EQ(stopRequests(), 1);

    ASSERT_TRUE(hotKeyService->press(23, option));  // Opt+5, the clean rewrite
    run();
    ASSERT_FALSE(keyPoster->posted().empty());
    EXPECT_EQ(keyPoster->posted().back().keystroke, SimKeyEventPoster::Keystroke::copy);
    advance(std::chrono::milliseconds(220));
    EXPECT_EQ(lastLog().rfind("repolish style=Clean", 0), 0u) << lastLog();
}

TEST_F(TriggerInput, ShortcutsThatCannotRegisterAreReportedTogether) {
    hotKeyService->takeElsewhere(105, 0);
    auto shortcuts = ShortcutSettings::defaults();
    shortcuts.clean = shortcuts.professional;
    store.setShortcuts(shortcuts);
    controller->reloadHotKeys();
    EXPECT_EQ(controller->shortcutStatusText(),
              "Mouse trigger could not register. Choose a different shortcut. "
              "Clean rewrite could not register. Choose a different shortcut.");
}

}  // namespace
}  // namespace tavlo::testing
