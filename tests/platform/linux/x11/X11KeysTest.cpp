// Global shortcuts and key monitoring against a real X server (Xvfb with
// openbox), keys typed with XTest as a keyboard would. The desktop is shared,
// so these tests run one at a time and release every key they press.
#include <gtest/gtest.h>

// Qt first: X11 headers define macros (Bool, Status) that break Qt's.
#include <QCoreApplication>
#include <QEventLoop>

#include <X11/XF86keysym.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "harness/XvfbDesktop.h"
#include "platform/linux/x11/X11TestSupport.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11HotKeyService.h"
#include "platform/linux/x11/X11KeyEventSource.h"
#include "base/Records.h"

namespace tavlo::x11 {
namespace {

using namespace std::chrono_literals;
using namespace CarbonModifier;

using testsupport::ensureApplication;
using testsupport::runLoopUntil;
using testsupport::Typist;

// Gives the server and our connection time to pass on what is in flight.
void settle() { testsupport::pumpFor(150ms); }

class X11KeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto missing = testing::XvfbDesktop::missingPrograms(); !missing.empty())
            GTEST_SKIP() << "not installed: " << missing;
        auto& desktop = testing::XvfbDesktop::shared();
        ASSERT_TRUE(desktop.running()) << desktop.error();
        ensureApplication();
        connection = X11Connection::open(desktop.display());
        ASSERT_TRUE(connection);
        typist = std::make_unique<Typist>(desktop.display());
        ASSERT_TRUE(typist->display());
    }

    std::shared_ptr<X11Connection> connection;
    std::unique_ptr<Typist> typist;
};

TEST_F(X11KeysTest, AShortcutIsPressedOnceWhateverTheLocksAndHowLongItIsHeld) {
    auto service = X11HotKeyService::create(connection);
    std::vector<std::uint32_t> pressed;
    service->setPressHandler([&](std::uint32_t id) { pressed.push_back(id); });
    ASSERT_TRUE(service->registerHotKey(49, control | option, 1));  // Ctrl+Alt+Space

    const unsigned ctrl = typist->keycode(XK_Control_L), alt = typist->keycode(XK_Alt_L);
    const unsigned space = typist->keycode(XK_space), numLock = typist->keycode(XK_Num_Lock);
    typist->press(ctrl);
    typist->press(alt);
    for (int repeat = 0; repeat < 5; ++repeat) typist->press(space);  // auto-repeat of a held key
    ASSERT_TRUE(runLoopUntil([&] { return !pressed.empty(); }));
    settle();
    EXPECT_EQ(pressed, std::vector<std::uint32_t>{1});
    typist->release(space);
    typist->release(alt);
    typist->release(ctrl);

    // With NumLock on, and then with Space alone (not the shortcut).
    typist->tap(numLock);
    typist->press(ctrl);
    typist->press(alt);
    typist->tap(space);
    typist->release(alt);
    typist->release(ctrl);
    typist->tap(numLock);
    typist->tap(space);
    ASSERT_TRUE(runLoopUntil([&] { return pressed.size() >= 2; }));
    settle();
    EXPECT_EQ(pressed, (std::vector<std::uint32_t>{1, 1}));
}

TEST_F(X11KeysTest, ACombinationTakenByAnotherClientOrByUsAlreadyFails) {
    // Another client grabs Ctrl+Shift+F5 first.
    Display* other = typist->display();
    const unsigned f5 = typist->keycode(XK_F5);
    XGrabKey(other, static_cast<int>(f5), ControlMask | ShiftMask, DefaultRootWindow(other), False, GrabModeAsync,
             GrabModeAsync);
    XSync(other, False);

    auto service = X11HotKeyService::create(connection);
    EXPECT_FALSE(service->registerHotKey(96, control | shift, 3));
    // The variants that were taken before the failure were given back: the
    // other client can still take the plain combination with CapsLock.
    auto registration = service->registerHotKey(96, control | option, 4);
    ASSERT_TRUE(registration);
    EXPECT_FALSE(service->registerHotKey(96, control | option, 5));
    service->unregisterHotKey(*registration);
    EXPECT_TRUE(service->registerHotKey(96, control | option, 5));

    XUngrabKey(other, static_cast<int>(f5), ControlMask | ShiftMask, DefaultRootWindow(other));
    XSync(other, False);
    EXPECT_TRUE(service->registerHotKey(96, control | shift, 3));
}

TEST_F(X11KeysTest, GrabbedKeysAreNotDeliveredToTheFocusedWindowUntilReleased) {
    // A focused window of another client stands for the application the user types in.
    Display* other = typist->display();
    const Window window = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 200, 100, 0, 0, 0);
    XSelectInput(other, window, KeyPressMask | FocusChangeMask);
    XMapRaised(other, window);
    XSync(other, False);
    runLoopUntil([] { return false; }, 300ms);
    XSetInputFocus(other, window, RevertToParent, CurrentTime);
    XSync(other, False);

    auto receivedEscape = [&] {
        bool got = false;
        const unsigned escape = typist->keycode(XK_Escape);
        settle();
        while (XPending(other)) {
            XEvent event;
            XNextEvent(other, &event);
            if (event.type == KeyPress && event.xkey.keycode == escape) got = true;
        }
        return got;
    };

    auto service = X11HotKeyService::create(connection);
    std::vector<std::uint32_t> pressed;
    service->setPressHandler([&](std::uint32_t id) { pressed.push_back(id); });
    auto registration = service->registerHotKey(53, 0, 7);
    ASSERT_TRUE(registration);
    typist->tap(typist->keycode(XK_Escape));
    EXPECT_FALSE(receivedEscape());
    EXPECT_EQ(pressed, std::vector<std::uint32_t>{7});

    service->unregisterHotKey(*registration);
    typist->tap(typist->keycode(XK_Escape));
    EXPECT_TRUE(receivedEscape());
    EXPECT_EQ(pressed.size(), 1u);
    XDestroyWindow(other, window);
    XSync(other, False);
}

struct Observed {
    std::vector<std::string> events;
    KeyEventHandlers handlers() {
        return {
            [this](std::uint32_t key, std::uint32_t mods, bool down) {
                events.push_back("key " + std::to_string(key) + " " + std::to_string(mods) + (down ? " down" : " up"));
            },
            [this](bool down) { events.push_back(down ? "fn down" : "fn up"); },
            [this](std::uint32_t mods) { events.push_back("mods " + std::to_string(mods)); },
        };
    }
};

TEST_F(X11KeysTest, KeysAndModifiersAreSeenWithoutGrabbing) {
    auto source = X11KeyEventSource::create(connection);
    Observed observed;
    ASSERT_TRUE(source->start(observed.handlers()));
    const unsigned ctrl = typist->keycode(XK_Control_L), alt = typist->keycode(XK_Alt_L);
    const unsigned space = typist->keycode(XK_space);
    typist->press(ctrl);
    typist->press(alt);
    typist->press(space);
    typist->release(alt);  // the modifiers go first
    typist->release(ctrl);
    typist->release(space);
    ASSERT_TRUE(runLoopUntil([&] { return observed.events.size() >= 6; }));
    settle();
    EXPECT_EQ(observed.events, (std::vector<std::string>{"mods 4096", "mods 6144", "key 49 6144 down", "mods 4096",
                                                         "mods 0", "key 49 0 up"}));
}

TEST_F(X11KeysTest, RightCtrlAloneStandsInForTheFunctionKey) {
    auto source = X11KeyEventSource::create(connection);
    if (connection->keycodeForKeysym(functionKeysym)) GTEST_SKIP() << "this keyboard has a function key";
    EXPECT_EQ(source->functionKeyName(), "Right Ctrl");
    EXPECT_EQ(source->functionKeyModifiers(), control);
    Observed observed;
    ASSERT_TRUE(source->start(observed.handlers()));
    const unsigned rightCtrl = typist->keycode(XK_Control_R), c = typist->keycode(XK_c);
    const unsigned shift = typist->keycode(XK_Shift_L);

    typist->tap(rightCtrl);
    // Right Ctrl used for Ctrl+C: the function press ends when C goes down.
    typist->press(rightCtrl);
    typist->tap(c);
    typist->release(rightCtrl);
    // Shift held first: Right Ctrl is only Ctrl.
    typist->press(shift);
    typist->tap(rightCtrl);
    typist->release(shift);
    ASSERT_TRUE(runLoopUntil([&] {
        int functionEvents = 0;
        for (const auto& event : observed.events) functionEvents += event.rfind("fn", 0) == 0;
        return functionEvents >= 4;
    }));
    settle();
    std::vector<std::string> function;
    for (const auto& event : observed.events)
        if (event.rfind("fn", 0) == 0 || event.rfind("key", 0) == 0) function.push_back(event);
    EXPECT_EQ(function, (std::vector<std::string>{"fn down", "fn up", "fn down", "fn up", "key 8 4096 down",
                                                  "key 8 4096 up"}));
}

// Escape pressed while Right Ctrl is held for dictation arrives as
// Ctrl+Escape: registered with the modifiers the function key holds, it is
// still taken, and the function press ends as it goes down.
TEST_F(X11KeysTest, EscapeWithRightCtrlHeldReachesTheRegistrationWithTheFunctionKeysModifiers) {
    auto source = X11KeyEventSource::create(connection);
    if (connection->keycodeForKeysym(functionKeysym)) GTEST_SKIP() << "this keyboard has a function key";
    Observed observed;
    ASSERT_TRUE(source->start(observed.handlers()));
    auto service = X11HotKeyService::create(connection);
    std::vector<std::uint32_t> pressed;
    service->setPressHandler([&](std::uint32_t id) { pressed.push_back(id); });
    std::vector<HotKeyRegistration> registrations;
    for (const std::uint32_t modifiers : {0u, source->functionKeyModifiers()}) {
        const auto registration = service->registerHotKey(53, modifiers, 7);
        ASSERT_TRUE(registration) << modifiers;
        registrations.push_back(*registration);
    }
    const unsigned rightCtrl = typist->keycode(XK_Control_R), escape = typist->keycode(XK_Escape);
    const unsigned shift = typist->keycode(XK_Shift_L);
    typist->press(rightCtrl);
    typist->tap(escape);
    // With a modifier of the user's own as well it is not ours.
    typist->press(shift);
    typist->tap(escape);
    typist->release(shift);
    typist->release(rightCtrl);
    ASSERT_TRUE(runLoopUntil([&] { return !pressed.empty(); }));
    settle();
    EXPECT_EQ(pressed, std::vector<std::uint32_t>{7});
    std::vector<std::string> function;
    for (const auto& event : observed.events)
        if (event.rfind("fn", 0) == 0) function.push_back(event);
    EXPECT_EQ(function, (std::vector<std::string>{"fn down", "fn up"}));
    for (const auto registration : registrations) service->unregisterHotKey(registration);
}

TEST_F(X11KeysTest, AKeyMappedToXF86FnIsTheFunctionKeyAndGrabsFollowLayoutChanges) {
    // Xvfb leaves key codes 247 and 248 free: give 248 the XF86Fn symbol, as
    // a laptop keyboard that reports Fn would, and put F13 on 247.
    Display* other = typist->display();
    KeySym fn = functionKeysym, f13 = XK_F13, none = NoSymbol;
    XChangeKeyboardMapping(other, 248, 1, &fn, 1);
    XChangeKeyboardMapping(other, 247, 1, &f13, 1);
    XSync(other, False);
    settle();  // our connection hears of the new layout

    auto source = X11KeyEventSource::create(connection);
    auto service = X11HotKeyService::create(connection);
    std::vector<std::uint32_t> pressed;
    service->setPressHandler([&](std::uint32_t id) { pressed.push_back(id); });
    EXPECT_EQ(source->functionKeyName(), "Fn");
    ASSERT_TRUE(service->registerHotKey(105, 0, 2));
    Observed observed;
    ASSERT_TRUE(source->start(observed.handlers()));
    typist->tap(248);
    typist->tap(247);
    ASSERT_TRUE(runLoopUntil([&] { return observed.events.size() >= 4 && !pressed.empty(); }));
    EXPECT_EQ(observed.events, (std::vector<std::string>{"fn down", "fn up", "key 105 0 down", "key 105 0 up"}));

    // The layout changes while the program runs: without an F13 symbol the
    // grab moves to the key in F13's place on a standard keyboard (191,
    // which standard layouts call XF86Tools), and Right Ctrl is Fn again.
    XChangeKeyboardMapping(other, 247, 1, &none, 1);
    XChangeKeyboardMapping(other, 248, 1, &none, 1);
    XSync(other, False);
    settle();
    typist->tap(247);
    typist->tap(191);
    ASSERT_TRUE(runLoopUntil([&] { return pressed.size() >= 2; }));
    settle();
    EXPECT_EQ(pressed, (std::vector<std::uint32_t>{2, 2}));
    EXPECT_EQ(source->functionKeyName(), "Right Ctrl");
}

}  // namespace
}  // namespace tavlo::x11
