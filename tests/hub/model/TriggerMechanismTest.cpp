// Where the program cannot watch the keyboard (Wayland), Home says how the
// triggers reach it: the keys the desktop bound, or the commands to bind in
// the compositor; and recording a trigger offers only what can be bound.
#include "HubTestSupport.h"

namespace tavlo::testing {
namespace {

constexpr std::uint64_t ctrl = EventModifierFlag::control;
constexpr std::uint64_t opt = EventModifierFlag::option;
constexpr std::uint16_t space = 49;
constexpr int holdTag = 0;
constexpr int pressTag = 1;

using Kind = TriggerMechanism::Kind;
using Tone = ShortcutsViewModel::StatusTone;
using Line = ShortcutsViewModel::MechanismLine;

const std::vector<TriggerBinding> commands{{"Hold to dictate", "tavlo trigger start on press, tavlo trigger stop on release"},
                                           {"Cancel the dictation", "tavlo trigger cancel"}};

class TriggerMechanismTest : public HubModelTest {
protected:
    bool press(HubKeyEvent event) { return hub->handleShortcutCapture(event); }
    ShortcutsViewModel& shortcuts() { return hub->shortcuts(); }
    const KeyCapture& capture() { return hub->capture(); }
};

TEST_F(TriggerMechanismTest, ShortcutsNameTheWayInUseWithTheKeysOrCommands) {
    struct Case {
        const char* name;
        TriggerMechanism mechanism;
        std::string headingStart;
        std::vector<Line> lines;
        Tone tone;
    };
    const std::vector<Case> cases{
        {"X11", {}, "Active: X11 key grabs.", {}, Tone::muted},
        {"portal, not answered yet",
         {Kind::desktopShortcuts, {}, {}},
         "Active: the desktop's global shortcuts. Waiting for the desktop to bind the keys…",
         {},
         Tone::muted},
        {"portal with the keys the user chose in the desktop",
         {Kind::desktopShortcuts, {{"Hold to dictate", "Ctrl+Alt+F9"}, {"Clean up", "Super+4"}}, {}},
         "Active: the desktop's global shortcuts. The keys it bound",
         {{"Hold to dictate", "Ctrl+Alt+F9"}, {"Clean up", "Super+4"}},
         Tone::muted},
        {"no portal", {Kind::compositorCommands, commands, {}}, "Active: bind keys in your compositor.",
         {{commands[0].description, commands[0].keys}, {commands[1].description, commands[1].keys}}, Tone::muted},
        {"portal declined",
         {Kind::compositorCommands, commands, "The global shortcuts were declined in the desktop's dialog"},
         "The desktop's global shortcuts are not active (The global shortcuts were declined in the desktop's "
         "dialog). Bind keys",
         {{commands[0].description, commands[0].keys}, {commands[1].description, commands[1].keys}}, Tone::red},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        appHost->mechanism = c.mechanism;
        const auto shown = shortcuts().triggerMechanism();
        EXPECT_EQ(shown.heading.substr(0, c.headingStart.size()), c.headingStart) << shown.heading;
        EXPECT_EQ(shown.lines, c.lines);
        EXPECT_EQ(shown.tone, c.tone);
        // Return and Escape are watched only where the keys are.
        const bool watched = c.mechanism.kind == Kind::keyGrabs;
        EXPECT_EQ(shortcuts().fixedKeysNote().starts_with("Fixed while recording: Return commits"), watched);
        EXPECT_EQ(shortcuts().fixedKeysNote().find("Cancel Dictation in the tray menu") != std::string::npos, !watched);
    }
}

TEST_F(TriggerMechanismTest, ANewBindingRedrawsShortcutsOnlyWhileItIsShown) {
    hub->triggerMechanismChanged();  // Home is shown
    EXPECT_EQ(takeEvents(), std::vector<std::string>{});
    hub->showShortcuts();
    takeEvents();
    appHost->mechanism = {Kind::desktopShortcuts, {{"Hold to dictate", "Ctrl+Alt+Space"}}, {}};
    hub->triggerMechanismChanged();
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"render Shortcuts", "refresh"}));
    EXPECT_EQ(shortcuts().triggerMechanism().lines, (std::vector<Line>{{"Hold to dictate", "Ctrl+Alt+Space"}}));
}

TEST_F(TriggerMechanismTest, WhereTheDesktopBindsTheKeysAModifierAloneIsRefusedWithTheReason) {
    struct Case {
        const char* name;
        HubKeyEvent event;
        std::string detail;
    };
    appHost->functionKey = "Right Ctrl";
    const std::vector<Case> cases{
        {"Ctrl", HubKeyEvent::modifiersChanged(ctrl),
         "Ctrl alone cannot be a trigger on this desktop: hold it and press another key."},
        {"Ctrl+Alt", HubKeyEvent::modifiersChanged(ctrl | opt),
         "Ctrl+Alt alone cannot be a trigger on this desktop: hold it and press another key."},
        {"the function key", HubKeyEvent::modifiersChanged(functionKeyFlag),
         "Right Ctrl alone cannot be a trigger on this desktop: hold it and press another key."},
    };
    for (const Kind kind : {Kind::desktopShortcuts, Kind::compositorCommands}) {
        appHost->mechanism = {kind, {}, {}};
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            home().recordTrigger(pressTag);
            const int beeps = feedback->beeps;
            EXPECT_TRUE(press(c.event));
            EXPECT_EQ(capture().pendingTrigger(), std::nullopt);
            const auto row = home().triggerRows()[1];
            EXPECT_EQ(row.detail, c.detail);
            EXPECT_EQ(row.shortcutText, "Press keys…");
            EXPECT_FALSE(row.buttons.at(1).enabled);  // nothing to save
            // Only a message: the user is on the way to a combination.
            EXPECT_EQ(feedback->beeps, beeps);
            // Letting go of everything is not a key.
            EXPECT_FALSE(press(HubKeyEvent::modifiersChanged(0)));
            home().cancelTrigger();
        }
    }
}

TEST_F(TriggerMechanismTest, AKeyWithModifiersIsStillTakenAndClearsTheMessage) {
    appHost->mechanism = {Kind::desktopShortcuts, {}, {}};
    home().recordTrigger(holdTag);
    press(HubKeyEvent::modifiersChanged(ctrl));
    EXPECT_FALSE(home().triggerRows()[0].detail.empty());
    EXPECT_TRUE(press(HubKeyEvent::keyDown(space, ctrl)));
    EXPECT_EQ(capture().pendingTrigger(), TriggerShortcut::key(KeyShortcut::make(49, 0x1000, "Ctrl+Space")));
    EXPECT_EQ(home().triggerRows()[0].detail, "Record while held. Release to paste.");
    home().saveTrigger(holdTag);
    EXPECT_EQ(home().draft().holdTrigger, TriggerShortcut::key(KeyShortcut::make(49, 0x1000, "Ctrl+Space")));
}

}  // namespace
}  // namespace tavlo::testing
