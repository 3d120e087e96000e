// The global shortcut groups through a simulated desktop: what is registered,
// what a failure says, and which delegate call a press makes.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/sim/SimHotKeyService.h"
#include "platform/sim/SimMainQueue.h"
#include "shortcuts/HotKeyManager.h"

namespace tavlo {
namespace {

using namespace CarbonModifier;

struct RecordingDelegate : HotKeyManagerDelegate {
    std::vector<std::string> calls;
    void hotKeyManagerDidPressToggle() override { calls.push_back("toggle"); }
    void hotKeyManagerDidPressMouseTrigger() override { calls.push_back("mouse"); }
    void hotKeyManagerDidPressRepolish(TransformStyle style) override {
        calls.push_back("repolish " + std::string(rawValue(style)));
    }
    void hotKeyManagerDidPressEscape() override { calls.push_back("escape"); }
    void hotKeyManagerDidPressReturn() override { calls.push_back("return"); }
};

class HotKeyManagerTest : public ::testing::Test {
protected:
    std::shared_ptr<SimHotKeyService> service = std::make_shared<SimHotKeyService>();
    std::shared_ptr<SimMainQueue> queue = std::make_shared<SimMainQueue>();
    std::shared_ptr<HotKeyManager> manager = HotKeyManager::create(service, queue);
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    const KeyShortcut ctrlShiftD = KeyShortcut::make(2, control | shift, "Ctrl+Shift+D");

    void SetUp() override { manager->delegate = delegate; }
};

TEST_F(HotKeyManagerTest, SignatureIsTheFourLettersPackedBigEndian) {
    EXPECT_EQ(HotKeyManager::signature, 0x5352564Cu);
}

TEST_F(HotKeyManagerTest, InstallRegistersTheKeyPressTriggerF13AndTheFourStyles) {
    manager->install(ShortcutSettings::defaults(), TriggerShortcut::key(ctrlShiftD));
    EXPECT_EQ(service->registered().size(), 6u);
    EXPECT_TRUE(service->isRegistered(2, control | shift));
    EXPECT_TRUE(service->isRegistered(105, 0));
    for (std::uint32_t key : {19u, 20u, 21u, 23u}) EXPECT_TRUE(service->isRegistered(key, option));
    // The hands-free toggle shortcut is not one of them.
    EXPECT_FALSE(service->isRegistered(49, control | option));
    EXPECT_TRUE(manager->registrationFailures().empty());
}

TEST_F(HotKeyManagerTest, FunctionAndModifierOnlyPressTriggersRegisterNothingOfTheirOwn) {
    for (const auto& trigger : {TriggerShortcut::function(), TriggerShortcut::modifierOnly(control | option, "Ctrl+Opt")}) {
        manager->install(ShortcutSettings::defaults(), trigger);
        EXPECT_EQ(service->registered().size(), 5u);
        EXPECT_TRUE(service->isRegistered(105, 0));
    }
}

TEST_F(HotKeyManagerTest, InstallingTwiceLeavesOneRegistrationEach) {
    manager->install(ShortcutSettings::defaults(), TriggerShortcut::key(ctrlShiftD));
    manager->install(ShortcutSettings::defaults(), TriggerShortcut::key(ctrlShiftD));
    EXPECT_EQ(service->registered().size(), 6u);
    EXPECT_TRUE(manager->registrationFailures().empty());
    manager->uninstallHotKeys();
    EXPECT_TRUE(service->registered().empty());
}

TEST_F(HotKeyManagerTest, FailuresAreNamedAndDoNotStopTheOthers) {
    auto shortcuts = ShortcutSettings::defaults();
    shortcuts.list = shortcuts.casual;  // the same combination twice
    service->takeElsewhere(105, 0);      // another program holds F13
    manager->install(shortcuts, TriggerShortcut::function());
    EXPECT_EQ(manager->registrationFailures(),
              (std::vector<std::string>{"Mouse trigger could not register. Choose a different shortcut.",
                                        "List rewrite could not register. Choose a different shortcut."}));
    EXPECT_EQ(service->registered().size(), 3u);
    // Uninstalling keeps the messages; the next install starts afresh.
    manager->uninstallHotKeys();
    EXPECT_EQ(manager->registrationFailures().size(), 2u);
    manager->install(ShortcutSettings::defaults(), TriggerShortcut::function());
    EXPECT_EQ(manager->registrationFailures().size(), 1u);
}

TEST_F(HotKeyManagerTest, PressesReachTheDelegateLaterOnTheMainQueue) {
    manager->install(ShortcutSettings::defaults(), TriggerShortcut::key(ctrlShiftD));
    manager->installRecordingHotKeys(0);
    struct Press {
        std::uint32_t keyCode, modifiers;
        const char* call;
    };
    const Press presses[] = {
        {2, control | shift, "toggle"}, {105, 0, "mouse"},
        {19, option, "repolish Professional"}, {20, option, "repolish Casual"},
        {21, option, "repolish List"}, {23, option, "repolish Clean"},
        {53, 0, "escape"}, {36, 0, "return"}, {76, 0, "return"},
    };
    for (const auto& press : presses) {
        ASSERT_TRUE(service->press(press.keyCode, press.modifiers)) << press.call;
        EXPECT_TRUE(delegate->calls.empty()) << "ran inside the desktop's dispatch";
        queue->runUntilIdle();
        EXPECT_EQ(delegate->calls, std::vector<std::string>{press.call});
        delegate->calls.clear();
    }
}

TEST_F(HotKeyManagerTest, RecordingKeysComeAndGoAsAGroup) {
    manager->installRecordingHotKeys(control);
    manager->installRecordingHotKeys(control);
    EXPECT_EQ(service->registered().size(), 6u);
    manager->uninstallRecordingHotKeys();
    EXPECT_TRUE(service->registered().empty());
    EXPECT_FALSE(service->press(53, 0));
    EXPECT_FALSE(service->press(53, control));
}

// Escape and Return pressed while the trigger is held carry the trigger's
// modifiers; they act all the same, but not with modifiers the user added.
TEST_F(HotKeyManagerTest, RecordingKeysActWithTheTriggersModifiersHeld) {
    struct Case {
        const char* name;
        std::uint32_t triggerModifiers;
        std::vector<std::uint32_t> taken;
        std::vector<std::uint32_t> leftToTheApplication;
    };
    const Case cases[] = {
        {"the function key", 0, {0}, {control, shift}},
        {"Right Ctrl standing in for it", control, {0, control}, {shift, control | shift, option}},
        {"Ctrl+Alt held, or half let go", control | option, {0, control, option, control | option},
         {shift, control | shift, command}},
        {"bits no stored mask knows are dropped", control | 0x10000, {0, control}, {0x10000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        manager->installRecordingHotKeys(c.triggerModifiers);
        for (const std::uint32_t modifiers : c.taken) {
            SCOPED_TRACE(modifiers);
            for (const std::uint32_t key : {53u, 36u, 76u}) EXPECT_TRUE(service->press(key, modifiers)) << key;
            queue->runUntilIdle();
            EXPECT_EQ(delegate->calls, (std::vector<std::string>{"escape", "return", "return"}));
            delegate->calls.clear();
        }
        for (const std::uint32_t modifiers : c.leftToTheApplication) EXPECT_FALSE(service->isRegistered(53, modifiers));
        EXPECT_EQ(service->registered().size(), 3 * c.taken.size());
        manager->uninstallRecordingHotKeys();
    }
}

TEST_F(HotKeyManagerTest, APressForAGoneDelegateDoesNothing) {
    manager->install(ShortcutSettings::defaults(), TriggerShortcut::function());
    service->press(105, 0);
    delegate.reset();
    queue->runUntilIdle();  // no crash, nothing to call
    SUCCEED();
}

}  // namespace
}  // namespace tavlo
