// Recording action shortcuts (Shortcuts) and dictation triggers (Home) with
// the hub's one key capture.
#include "HubTestSupport.h"
#include "settings/ShortcutDisplay.h"

namespace tavlo::testing {
namespace {

constexpr std::uint64_t ctrl = EventModifierFlag::control;
constexpr std::uint64_t opt = EventModifierFlag::option;
constexpr std::uint64_t shift = EventModifierFlag::shift;
constexpr std::uint64_t cmd = EventModifierFlag::command;
constexpr std::uint16_t space = 49;
constexpr std::uint16_t letterK = 40;
constexpr int toggleTag = 0;
constexpr int professionalTag = 1;
constexpr int casualTag = 2;
constexpr int holdTag = 0;
constexpr int pressTag = 1;

class KeyCaptureTest : public HubModelTest {
protected:
    bool press(HubKeyEvent event) { return hub->handleShortcutCapture(event); }
    ShortcutsViewModel& shortcuts() { return hub->shortcuts(); }
    const KeyCapture& capture() { return hub->capture(); }
};

// --- Action shortcuts ------------------------------------------------------------

TEST_F(KeyCaptureTest, RecordingAnActionShortcutStoresItAndSwitchesHotKeysBackOn) {
    shortcuts().recordShortcut(toggleTag);
    EXPECT_EQ(capture().capturedAction(), ShortcutAction::toggle);
    EXPECT_EQ(shortcuts().rows()[0].shortcutText, "Press new shortcut…");
    EXPECT_TRUE(shortcuts().rows()[0].isCapturing);
    EXPECT_EQ(shortcuts().rows()[0].recordButtonTitle, "Cancel");
    EXPECT_EQ(shortcuts().rows()[1].recordButtonTitle, "Record");
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"captureActive(true)"}));
    EXPECT_EQ(hub->selectedSection(), HubSection::shortcuts);

    EXPECT_TRUE(press(HubKeyEvent::keyDown(space, ctrl | opt)));

    EXPECT_EQ(store.shortcuts().toggle, KeyShortcut::make(49, 0x1800, "Ctrl+Alt+Space"));
    EXPECT_FALSE(capture().isActive());
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"captureActive(false)"}));
    EXPECT_EQ(shortcuts().rows()[0].shortcutText, "Ctrl+Alt+Space");
    EXPECT_EQ(shortcuts().rows()[0].recordButtonTitle, "Record");
}

struct ActionCase {
    const char* name;
    std::vector<HubKeyEvent> events;
    std::vector<bool> handled;
    std::optional<KeyShortcut> stored;  // absent: the default stays
    bool stillCapturing;
    int beeps;
};

TEST_F(KeyCaptureTest, ActionCaptureAcceptsOnlyKeysWithAModifier) {
    const KeyShortcut original = ShortcutSettings::defaults().toggle;
    const std::vector<ActionCase> cases{
        {"modifier alone is not handled, then Shift+K is stored",
         {HubKeyEvent::modifiersChanged(shift), HubKeyEvent::keyDown(letterK, shift)},
         {false, true},
         KeyShortcut::make(40, 0x0200, "Shift+K"),
         false,
         0},
        {"a plain key beeps and the capture goes on", {HubKeyEvent::keyDown(letterK, 0)}, {true}, std::nullopt, true, 1},
        {"the function key is no modifier", {HubKeyEvent::keyDown(letterK, functionKeyFlag)}, {true}, std::nullopt,
         true, 1},
        {"Escape ends it without storing", {HubKeyEvent::keyDown(escapeKeyCode, ctrl)}, {true}, std::nullopt, false, 0},
        {"Escape as a modifier change ends it too", {HubKeyEvent::modifiersChanged(0, escapeKeyCode)}, {true},
         std::nullopt, false, 0},
        {"all four modifiers", {HubKeyEvent::keyDown(space, ctrl | opt | shift | cmd)}, {true},
         KeyShortcut::make(49, 0x1B00, "Ctrl+Alt+Shift+Super+Space"), false, 0},
        {"other events are not handled", {HubKeyEvent{HubKeyEvent::Type::other, letterK, ctrl}}, {false}, std::nullopt,
         true, 0},
    };
    for (const ActionCase& c : cases) {
        SCOPED_TRACE(c.name);
        store.setShortcut(original, ShortcutAction::toggle);
        shortcuts().recordShortcut(toggleTag);
        const int beeps = feedback->beeps;
        for (std::size_t i = 0; i < c.events.size(); ++i) EXPECT_EQ(press(c.events[i]), c.handled[i]) << i;
        EXPECT_EQ(store.shortcuts().toggle, c.stored.value_or(original));
        EXPECT_EQ(capture().isActive(), c.stillCapturing);
        EXPECT_EQ(feedback->beeps - beeps, c.beeps);
        hub->render(HubSection::home);
        if (capture().isActive()) shortcuts().recordShortcut(toggleTag);  // Cancel
        ASSERT_FALSE(capture().isActive());
    }
}

TEST_F(KeyCaptureTest, RecordThenCancelInTheSameRowLeavesTheShortcut) {
    shortcuts().recordShortcut(toggleTag);
    shortcuts().recordShortcut(toggleTag);
    EXPECT_FALSE(capture().isActive());
    EXPECT_EQ(store.shortcuts(), ShortcutSettings::defaults());
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"captureActive(true)", "captureActive(false)"}));
}

TEST_F(KeyCaptureTest, RecordInAnotherRowMovesTheCapture) {
    shortcuts().recordShortcut(toggleTag);
    shortcuts().recordShortcut(professionalTag);
    EXPECT_EQ(capture().capturedAction(), ShortcutAction::professional);
    press(HubKeyEvent::keyDown(letterK, cmd));
    EXPECT_EQ(store.shortcuts().professional, KeyShortcut::make(40, 0x0100, "Super+K"));
    EXPECT_EQ(store.shortcuts().toggle, ShortcutSettings::defaults().toggle);
}

TEST_F(KeyCaptureTest, TagsOutsideTheActionsAreIgnored) {
    for (const int tag : {-1, 5}) {
        shortcuts().recordShortcut(tag);
        shortcuts().resetShortcut(tag);
    }
    EXPECT_FALSE(capture().isActive());
    EXPECT_TRUE(takeHostCalls().empty());
}

TEST_F(KeyCaptureTest, ResetStoresTheDefaultAndReloadsHotKeys) {
    store.setShortcut(KeyShortcut::make(40, 0x0100, "Cmd+K"), ShortcutAction::professional);
    shortcuts().recordShortcut(toggleTag);
    takeHostCalls();

    shortcuts().resetShortcut(professionalTag);

    EXPECT_EQ(store.shortcuts().professional, KeyShortcut::make(19, 0x0800, "Alt+2"));
    EXPECT_FALSE(capture().isActive());
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"captureActive(false)", "reloadHotKeys"}));
    EXPECT_EQ(hub->selectedSection(), HubSection::shortcuts);
}

TEST_F(KeyCaptureTest, EscapeWithoutACaptureIsSwallowedWithoutEffect) {
    EXPECT_TRUE(press(HubKeyEvent::keyDown(escapeKeyCode, 0)));
    EXPECT_FALSE(press(HubKeyEvent::keyDown(letterK, ctrl)));
    EXPECT_FALSE(press(HubKeyEvent::modifiersChanged(ctrl)));
    EXPECT_TRUE(takeHostCalls().empty());
    EXPECT_TRUE(takeEvents().empty());
}

TEST_F(KeyCaptureTest, WithoutAHostTheShortcutIsStillStored) {
    appHost.reset();
    shortcuts().recordShortcut(toggleTag);
    press(HubKeyEvent::keyDown(space, cmd));
    EXPECT_EQ(store.shortcuts().toggle.display, "Super+Space");
    EXPECT_EQ(shortcuts().statusLine().text, "All shortcuts registered");
}

TEST_F(KeyCaptureTest, RowTextComesFromKeyCodeAndMaskNotTheStoredDisplay) {
    store.setShortcut(KeyShortcut::make(0, 0x1000 | 0x0200, "something else"), ShortcutAction::list);
    store.setShortcut(KeyShortcut::make(70000, 0x0800, "damaged"), ShortcutAction::clean);
    const auto rows = shortcuts().rows();
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[3].shortcutText, "Ctrl+Shift+A");
    EXPECT_EQ(rows[4].shortcutText, "Alt+Key 70000");
    const std::vector<std::string> titles{"Hands-free toggle", "Professional rewrite", "Casual rewrite",
                                          "List rewrite", "Clean rewrite"};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].title, titles[i]);
        EXPECT_EQ(rows[i].tag, static_cast<int>(i));
        EXPECT_EQ(rows[i].resetButtonTitle, "Reset");
    }
}

TEST_F(KeyCaptureTest, ShortcutsStoredWithOtherWordsShowLinuxKeyNames) {
    // Settings written with other modifier words keep their codes and masks;
    // what the user reads comes from those alone.
    store.setShortcut(KeyShortcut::make(49, 0x1800, "Ctrl+Opt+Space"), ShortcutAction::toggle);
    store.setShortcut(KeyShortcut::make(38, 0x0100, "Cmd+J"), ShortcutAction::professional);
    EXPECT_EQ(shortcuts().rows()[0].shortcutText, "Ctrl+Alt+Space");
    EXPECT_EQ(shortcuts().rows()[1].shortcutText, "Super+J");
    EXPECT_EQ(ShortcutsViewModel::shortcutText(ShortcutSettings::defaults().casual), "Alt+3");

    store.setHoldTrigger(TriggerShortcut::modifierOnly(0x0900, "Opt+Cmd"));
    store.setPressTrigger(TriggerShortcut::key(KeyShortcut::make(40, 0x0A00, "Shift+Opt+K")));
    home().reloadDraft();
    const auto rows = home().triggerRows();
    EXPECT_EQ(rows[0].shortcutText, "Alt+Super");
    EXPECT_EQ(rows[1].shortcutText, "Alt+Shift+K");
}

TEST_F(KeyCaptureTest, KeysAnotherActionUsesAreRefusedWithTheReason) {
    shortcuts().recordShortcut(professionalTag);
    const int beeps = feedback->beeps;
    // Ctrl+Alt+Space is the hands-free toggle's.
    EXPECT_TRUE(press(HubKeyEvent::keyDown(space, ctrl | opt)));
    EXPECT_EQ(feedback->beeps - beeps, 1);
    EXPECT_EQ(store.shortcuts().professional, ShortcutSettings::defaults().professional);
    EXPECT_TRUE(capture().isActive());
    const auto line = shortcuts().statusLine();
    EXPECT_EQ(line.text, "Ctrl+Alt+Space is already the Hands-free toggle shortcut. Choose other keys.");
    EXPECT_EQ(line.tone, ShortcutsViewModel::StatusTone::red);
    // Free keys are taken, and the message goes.
    EXPECT_TRUE(press(HubKeyEvent::keyDown(letterK, ctrl | shift)));
    EXPECT_EQ(store.shortcuts().professional.keyCode, 40u);
    EXPECT_EQ(shortcuts().statusLine().text, "All shortcuts registered");

    // A trigger key is no action's shortcut either, and the other way round.
    store.setPressTrigger(TriggerShortcut::key(KeyShortcut::make(49, 0x1000, "Ctrl+Space")));
    shortcuts().recordShortcut(casualTag);
    press(HubKeyEvent::keyDown(space, ctrl));
    EXPECT_EQ(shortcuts().statusLine().text, "Ctrl+Space is already a dictation trigger. Choose other keys.");
    shortcuts().recordShortcut(casualTag);  // Cancel
    home().recordTrigger(holdTag);
    press(HubKeyEvent::keyDown(letterK, ctrl | shift));
    EXPECT_FALSE(capture().pendingTrigger());
    EXPECT_EQ(home().triggerRows()[0].detail, "Ctrl+Shift+K is already the Professional rewrite shortcut. Choose other keys.");
}

TEST_F(KeyCaptureTest, StatusLineTurnsRedWhenAShortcutCouldNotRegister) {
    appHost->statusText = "All shortcuts registered";
    EXPECT_EQ(shortcuts().statusLine().tone, ShortcutsViewModel::StatusTone::muted);
    appHost->statusText = "Ctrl+Opt+Space could not register. Opt+2 could not register.";
    const auto line = shortcuts().statusLine();
    EXPECT_EQ(line.text, appHost->statusText);
    EXPECT_EQ(line.tone, ShortcutsViewModel::StatusTone::red);
}

// --- Triggers --------------------------------------------------------------------

TEST_F(KeyCaptureTest, RecordingCtrlAltTriggerFollowsEachModifierChange) {
    home().recordTrigger(holdTag);
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"captureActive(true)"}));
    auto pill = [this] { return home().triggerRows()[0].shortcutText; };
    EXPECT_EQ(pill(), "Press keys…");

    EXPECT_TRUE(press(HubKeyEvent::modifiersChanged(ctrl)));
    EXPECT_EQ(pill(), "Ctrl");
    EXPECT_TRUE(press(HubKeyEvent::modifiersChanged(ctrl | opt)));
    EXPECT_EQ(pill(), "Ctrl+Alt");
    // Letting go of everything at once keeps the combination.
    EXPECT_FALSE(press(HubKeyEvent::modifiersChanged(0)));
    EXPECT_EQ(pill(), "Ctrl+Alt");
    EXPECT_EQ(capture().pendingTrigger(), TriggerShortcut::modifierOnly(0x1800, "Ctrl+Alt"));

    // Letting go of Alt first leaves Ctrl.
    press(HubKeyEvent::modifiersChanged(ctrl | opt));
    press(HubKeyEvent::modifiersChanged(ctrl));
    EXPECT_EQ(pill(), "Ctrl");
}

struct TriggerCase {
    const char* name;
    std::vector<HubKeyEvent> events;
    std::optional<TriggerShortcut> pending;
    int beeps;
};

TEST_F(KeyCaptureTest, TriggerCaptureTakesFnModifiersOrAKeyWithAModifier) {
    const std::vector<TriggerCase> cases{
        {"Fn", {HubKeyEvent::modifiersChanged(functionKeyFlag)}, TriggerShortcut::function(), 0},
        {"Fn wins over Ctrl", {HubKeyEvent::modifiersChanged(functionKeyFlag | ctrl)}, TriggerShortcut::function(), 0},
        {"Shift alone", {HubKeyEvent::modifiersChanged(shift)}, TriggerShortcut::modifierOnly(0x0200, "Shift"), 0},
        {"Cmd+Shift", {HubKeyEvent::modifiersChanged(cmd | shift)}, TriggerShortcut::modifierOnly(0x0300, "Shift+Super"),
         0},
        {"Ctrl+Space", {HubKeyEvent::keyDown(space, ctrl)},
         TriggerShortcut::key(KeyShortcut::make(49, 0x1000, "Ctrl+Space")), 0},
        {"a plain letter beeps", {HubKeyEvent::keyDown(letterK, 0)}, std::nullopt, 1},
        {"a later key replaces the first",
         {HubKeyEvent::modifiersChanged(ctrl), HubKeyEvent::keyDown(letterK, opt)},
         TriggerShortcut::key(KeyShortcut::make(40, 0x0800, "Alt+K")), 0},
    };
    for (const TriggerCase& c : cases) {
        SCOPED_TRACE(c.name);
        home().recordTrigger(pressTag);
        const int beeps = feedback->beeps;
        for (const HubKeyEvent& event : c.events) EXPECT_TRUE(press(event));
        EXPECT_EQ(capture().pendingTrigger(), c.pending);
        EXPECT_EQ(feedback->beeps - beeps, c.beeps);
        const auto row = home().triggerRows()[1];
        EXPECT_EQ(row.buttons.at(1).enabled, c.pending.has_value());
        if (!c.pending) {
            EXPECT_EQ(row.shortcutText, "Press keys…");
        }
        home().cancelTrigger();
    }
}

TEST_F(KeyCaptureTest, CapturingRowShowsCancelAndSaveTheOtherRowRecord) {
    home().recordTrigger(pressTag);
    using Button = HomeViewModel::TriggerButton;
    const auto rows = home().triggerRows();
    EXPECT_EQ(rows[0].buttons, (std::vector<Button>{{Button::Kind::record, "Record", true}}));
    EXPECT_EQ(rows[1].buttons,
              (std::vector<Button>{{Button::Kind::cancel, "Cancel", true}, {Button::Kind::save, "Save", false}}));
    press(HubKeyEvent::modifiersChanged(functionKeyFlag));
    EXPECT_EQ(home().triggerRows()[1].shortcutText, "Double-tap Fn");
    EXPECT_TRUE(home().triggerRows()[1].buttons[1].enabled);
}

TEST_F(KeyCaptureTest, SavedTriggerGoesIntoTheDraftAndReachesTheStoreWithSaveChanges) {
    home().recordTrigger(holdTag);
    press(HubKeyEvent::keyDown(space, ctrl));
    takeHostCalls();

    home().saveTrigger(pressTag);  // the other row's Save does nothing
    EXPECT_TRUE(capture().isActive());

    home().saveTrigger(holdTag);
    const TriggerShortcut ctrlSpace = TriggerShortcut::key(KeyShortcut::make(49, 0x1000, "Ctrl+Space"));
    EXPECT_EQ(home().draft().holdTrigger, ctrlSpace);
    EXPECT_FALSE(capture().isActive());
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"captureActive(false)"}));
    EXPECT_EQ(store.holdTrigger(), TriggerShortcut::function());
    EXPECT_EQ(home().triggerRows()[0].shortcutText, "Ctrl+Space");
    EXPECT_EQ(home().statusBadgeText(), "Unsaved");

    home().saveChanges();
    EXPECT_EQ(store.holdTrigger(), ctrlSpace);
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"reloadHotKeys", "prepareLocalWhisperIfNeeded"}));
}

TEST_F(KeyCaptureTest, SaveWithNothingCapturedBeeps) {
    home().recordTrigger(holdTag);
    home().saveTrigger(holdTag);
    EXPECT_EQ(feedback->beeps, 1);
    EXPECT_TRUE(capture().isActive());
    EXPECT_EQ(home().draft(), HomeDraft::load(store));
}

TEST_F(KeyCaptureTest, EscapeOrCancelEndsATriggerCaptureWithoutChangingTheDraft) {
    for (const bool escape : {true, false}) {
        home().recordTrigger(holdTag);
        press(HubKeyEvent::modifiersChanged(ctrl));
        takeHostCalls();
        if (escape)
            EXPECT_TRUE(press(HubKeyEvent::keyDown(escapeKeyCode, 0)));
        else
            home().cancelTrigger();
        EXPECT_FALSE(capture().isActive());
        EXPECT_EQ(capture().pendingTrigger(), std::nullopt);
        EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"captureActive(false)"}));
        EXPECT_EQ(home().draft().holdTrigger, TriggerShortcut::function());
    }
}

TEST_F(KeyCaptureTest, RecordInTheOtherRowDropsThePendingTrigger) {
    home().recordTrigger(holdTag);
    press(HubKeyEvent::modifiersChanged(ctrl));
    home().recordTrigger(pressTag);
    EXPECT_EQ(capture().capturedTriggerRole(), TriggerRole::press);
    EXPECT_EQ(capture().pendingTrigger(), std::nullopt);
    home().recordTrigger(2);  // no such row
    EXPECT_EQ(capture().capturedTriggerRole(), TriggerRole::press);
}

TEST_F(KeyCaptureTest, AtMostOneCaptureRuns) {
    home().recordTrigger(holdTag);
    press(HubKeyEvent::modifiersChanged(ctrl));
    shortcuts().recordShortcut(toggleTag);
    EXPECT_EQ(capture().capturedTriggerRole(), std::nullopt);
    EXPECT_EQ(capture().pendingTrigger(), std::nullopt);
    EXPECT_EQ(capture().capturedAction(), ShortcutAction::toggle);
    // A modifier change is no action shortcut.
    EXPECT_FALSE(press(HubKeyEvent::modifiersChanged(ctrl)));

    home().recordTrigger(pressTag);
    EXPECT_EQ(capture().capturedAction(), std::nullopt);
    press(HubKeyEvent::keyDown(letterK, cmd));
    EXPECT_EQ(store.shortcuts(), ShortcutSettings::defaults());
    EXPECT_EQ(hub->selectedSection(), HubSection::home);
}

TEST_F(KeyCaptureTest, ClosingTheWindowOrDestroyingTheModelSwitchesHotKeysBackOn) {
    home().recordTrigger(holdTag);
    takeHostCalls();
    hub->windowClosed();
    EXPECT_FALSE(capture().isActive());
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"captureActive(false)"}));

    shortcuts().recordShortcut(toggleTag);
    takeHostCalls();
    hub.reset();
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"captureActive(false)"}));
}

TEST(HubKeyEvents, FlagsFromAHotKeyMask) {
    EXPECT_EQ(eventModifierFlags(0x1800, false), EventModifierFlag::control | EventModifierFlag::option);
    EXPECT_EQ(eventModifierFlags(0x0300, true), EventModifierFlag::shift | EventModifierFlag::command | functionKeyFlag);
    EXPECT_EQ(carbonModifiers(eventModifierFlags(0x1B00, false)), 0x1B00u);
}

}  // namespace
}  // namespace tavlo::testing
