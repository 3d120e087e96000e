// Reading and writing other applications' text fields over the real
// accessibility bus (at-spi-bus-launcher on a private session bus and a
// private X server), with a GTK 3 entry and a Qt line edit as the targets.
// GTK counts text positions in code points and Qt in UTF-16 units; the
// adapter must give and take UTF-16 for both. The desktop is shared, so these
// tests run one at a time.
#include <gtest/gtest.h>

// Qt first: X11 headers define macros (Bool, Status) that break Qt's.
#include <QCoreApplication>
#include <QEventLoop>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "harness/AccessibilityBus.h"
#include "harness/ChildProcesses.h"
#include "harness/PrivateSessionBus.h"
#include "harness/TemporaryDirectory.h"
#include "harness/TextFieldApplication.h"
#include "harness/XvfbDesktop.h"
#include "platform/linux/atspi/AtspiAccessibility.h"

namespace tavlo::atspi {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::TextFieldApplication;
using testing::TextFieldSetup;
using testing::Toolkit;

void ensureApplication() {
    static int argc = 1;
    static char name[] = "tests_platform";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

// Runs the event loop (and with it the default GLib context, where the
// accessibility events arrive) until `done` or the limit.
bool runLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

// libatspi never frees the pending call of a call that timed out; the leak
// checker is told to ignore what is allocated while a target is stopped.
class IgnoredAllocations {
public:
#if defined(__SANITIZE_ADDRESS__)
    IgnoredAllocations() { __lsan_disable(); }
    ~IgnoredAllocations() { end(); }
    void end() const {
        if (active_) __lsan_enable();
        active_ = false;
    }

private:
    mutable bool active_ = true;
#else
    void end() const {}
#endif
};

const char* nameOf(Toolkit toolkit) { return toolkit == Toolkit::gtk3 ? "GTK 3" : "Qt"; }

// Sets an environment variable for the length of a scope.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~ScopedEnvironment() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class AtspiAccessibilitySerially : public ::testing::Test {
protected:
    void SetUp() override {
        std::string missing = testing::XvfbDesktop::missingPrograms() + testing::AccessibilityBus::missingPrograms();
        for (auto toolkit : {Toolkit::gtk3, Toolkit::qt}) missing += TextFieldApplication::missingPrograms(toolkit);
        if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing;
        auto& desktop = testing::XvfbDesktop::shared();
        ASSERT_TRUE(desktop.running()) << desktop.error();
        auto& bus = testing::AccessibilityBus::shared();
        ASSERT_TRUE(bus.running()) << bus.error();
        ASSERT_TRUE(bus.setEnabled(true));
        ensureApplication();
    }

    std::unique_ptr<TextFieldApplication> launch(Toolkit toolkit, const TextFieldSetup& setup) {
        auto application = std::make_unique<TextFieldApplication>(toolkit, setup);
        EXPECT_TRUE(application->running()) << application->error();
        return application->running() ? std::move(application) : nullptr;
    }

    // The focused element once it belongs to the application (focus events
    // arrive while the event loop runs).
    std::shared_ptr<AccessibilityElement> focusedFieldOf(const TextFieldApplication& application) {
        std::shared_ptr<AccessibilityElement> element;
        runLoopUntil([&] {
            element = accessibility.focusedElement();
            return element && element->processIdentifier() == application.pid();
        });
        if (element && element->processIdentifier() == application.pid()) return element;
        return nullptr;
    }

    AtspiAccessibility accessibility;
};

struct FieldCase {
    const char* name;
    std::string text;
    int start, end;  // UTF-16 units
};

// Emoji lie outside the Basic Multilingual Plane (two UTF-16 units, one code
// point); a decomposed é is two code points and two UTF-16 units.
const std::string emojiText = "a\U0001F600e\u0301b\U0001F389c";  // a😀éb🎉c

const FieldCase fieldCases[] = {
    {"caret in the middle", "hello world", 5, 5},
    {"a selection", "hello world", 2, 7},
    {"caret after emoji and a combining mark", emojiText, 8, 8},
    {"a selection across emoji", emojiText, 1, 8},
    {"an empty field", "", 0, 0},
};

TEST_F(AtspiAccessibilitySerially, TheFocusedFieldIsFoundWithItsTextAndSelectionInUtf16) {
    EXPECT_TRUE(accessibility.isProcessTrusted());
    for (auto toolkit : {Toolkit::gtk3, Toolkit::qt}) {
        for (const auto& field : fieldCases) {
            SCOPED_TRACE(std::string(nameOf(toolkit)) + ", " + field.name);
            auto application = launch(toolkit, {field.text, field.start, field.end});
            ASSERT_TRUE(application);
            auto element = focusedFieldOf(*application);
            ASSERT_TRUE(element);
            EXPECT_EQ(element->value(), field.text);
            EXPECT_EQ(element->selectedTextRange(), (TextRange{field.start, field.end - field.start}));
        }
    }
}

TEST_F(AtspiAccessibilitySerially, WritingTheValueAndPlacingTheCaretShowInTheField) {
    for (auto toolkit : {Toolkit::gtk3, Toolkit::qt}) {
        SCOPED_TRACE(nameOf(toolkit));
        auto application = launch(toolkit, {emojiText, 3, 3});
        ASSERT_TRUE(application);
        auto element = focusedFieldOf(*application);
        ASSERT_TRUE(element);

        // Insert at the selection the way delivery does: the whole new value
        // in one write, then the caret after the inserted text.
        const auto current = element->value();
        const auto range = element->selectedTextRange();
        ASSERT_TRUE(current && range);
        const std::string inserted = "\U0001F44Dx";  // 👍x, three UTF-16 units
        // Offsets 3 (UTF-16) lies after "a😀", byte 5.
        const std::string expected = current->substr(0, 5) + inserted + current->substr(5);
        ASSERT_TRUE(element->setValue(expected));
        ASSERT_TRUE(element->setSelectedTextRange({range->location + 3, 0}));
        auto state = application->fieldState();
        ASSERT_TRUE(state);
        EXPECT_EQ(state->text, expected);
        EXPECT_EQ(state->selectionStart, 6);
        EXPECT_EQ(state->selectionEnd, 6);
        EXPECT_EQ(element->selectedTextRange(), (TextRange{6, 0}));

        // A selection over the emoji and the combining mark.
        ASSERT_TRUE(element->setSelectedTextRange({1, 8}));
        state = application->fieldState();
        ASSERT_TRUE(state);
        EXPECT_EQ(state->selectionStart, 1);
        EXPECT_EQ(state->selectionEnd, 9);

        // Positions that split an emoji, or lie past the end, are refused and
        // change nothing.
        EXPECT_FALSE(element->setSelectedTextRange({2, 0}));
        EXPECT_FALSE(element->setSelectedTextRange({1, 100}));
        EXPECT_FALSE(element->setSelectedTextRange({-1, 0}));
        EXPECT_EQ(element->selectedTextRange(), (TextRange{1, 8}));
    }
}

TEST_F(AtspiAccessibilitySerially, PasswordFieldsAreNeverRead) {
    for (auto toolkit : {Toolkit::gtk3, Toolkit::qt}) {
        SCOPED_TRACE(nameOf(toolkit));
        TextFieldSetup setup{"secret", 6, 6};
        setup.password = true;
        auto application = launch(toolkit, setup);
        ASSERT_TRUE(application);
        auto element = focusedFieldOf(*application);
        ASSERT_TRUE(element);
        EXPECT_EQ(element->value(), std::nullopt);
    }
}

// Another X client that presses keys as a keyboard would and sees who owns
// the clipboard.
class Keyboard {
public:
    Keyboard() : display_(XOpenDisplay(nullptr)) {}
    ~Keyboard() {
        if (display_) XCloseDisplay(display_);
    }
    explicit operator bool() const { return display_ != nullptr; }
    void pressPaste() {
        const unsigned control = XKeysymToKeycode(display_, XK_Control_L), v = XKeysymToKeycode(display_, XK_v);
        XTestFakeKeyEvent(display_, control, True, CurrentTime);
        XTestFakeKeyEvent(display_, v, True, CurrentTime);
        XTestFakeKeyEvent(display_, v, False, CurrentTime);
        XTestFakeKeyEvent(display_, control, False, CurrentTime);
        XSync(display_, False);
    }
    bool clipboardHasOwner() const {
        return XGetSelectionOwner(display_, XInternAtom(display_, "CLIPBOARD", False)) != None;
    }

private:
    Display* display_;
};

// xclip serving a text on the clipboard until it is stopped.
class ClipboardOwner {
public:
    explicit ClipboardOwner(const std::string& text) {
        const std::string program = testing::findProgram("xclip");
        if (program.empty()) return;
        pid_ = testing::spawn({program, "-quiet", "-selection", "clipboard", "-in"},
                              testing::childEnvironment({}, {}), folder_ / "xclip.log", &text);
    }
    ~ClipboardOwner() { testing::stopProcess(pid_); }
    bool running() const { return pid_ > 0; }

private:
    testing::TemporaryDirectory folder_;
    pid_t pid_ = -1;
};

TEST_F(AtspiAccessibilitySerially, APasteShowsUpSoonAndAFieldThatRefusesItIsStillWritable) {
    if (testing::findProgram("xclip").empty()) GTEST_SKIP() << "not installed: xclip";
    Keyboard keyboard;
    ASSERT_TRUE(keyboard);
    for (auto toolkit : {Toolkit::gtk3, Toolkit::qt}) {
        for (bool refuses : {false, true}) {
            SCOPED_TRACE(std::string(nameOf(toolkit)) + (refuses ? ", refusing paste" : ""));
            TextFieldSetup setup{"ab", 1, 1};
            setup.refusesPaste = refuses;
            auto application = launch(toolkit, setup);
            ASSERT_TRUE(application);
            auto element = focusedFieldOf(*application);
            ASSERT_TRUE(element);
            ClipboardOwner clipboard("pasted");
            ASSERT_TRUE(clipboard.running());
            ASSERT_TRUE(runLoopUntil([&] { return keyboard.clipboardHasOwner(); }));

            const auto start = Clock::now();
            keyboard.pressPaste();
            // Polled as often as a read allows, to see how soon it shows.
            bool arrived = false;
            while (!arrived && Clock::now() - start < 3s) {
                QCoreApplication::processEvents();
                arrived = element->value() == "apastedb";
            }
            const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
            if (refuses) {
                EXPECT_FALSE(arrived);
                EXPECT_EQ(element->value(), "ab");
                EXPECT_TRUE(element->setValue("apastedb"));
                auto state = application->fieldState();
                ASSERT_TRUE(state);
                EXPECT_EQ(state->text, "apastedb");
            } else {
                EXPECT_TRUE(arrived);
                EXPECT_EQ(element->selectedTextRange(), (TextRange{7, 0}));
                std::printf("%s: the paste was visible over the accessibility bus after %.1f ms\n",
                            nameOf(toolkit), static_cast<double>(elapsed.count()) / 1000);
            }
        }
    }
}

TEST_F(AtspiAccessibilitySerially, ATargetThatQuitsOrHangsReadsAsAbsentWithinBoundedTime) {
    for (auto toolkit : {Toolkit::gtk3, Toolkit::qt}) {
        SCOPED_TRACE(nameOf(toolkit));
        auto application = launch(toolkit, {"still here", 3, 3});
        ASSERT_TRUE(application);
        auto element = focusedFieldOf(*application);
        ASSERT_TRUE(element);

        // Stopped: each call gives up after its timeout.
        application->pause();
        const IgnoredAllocations libatspiLeaksTimedOutCalls;
        auto start = Clock::now();
        EXPECT_EQ(element->value(), std::nullopt);
        EXPECT_EQ(element->selectedTextRange(), std::nullopt);
        EXPECT_FALSE(element->setValue("x"));
        EXPECT_LT(Clock::now() - start, 5s);
        start = Clock::now();
        accessibility.focusedElement();
        EXPECT_LT(Clock::now() - start, 5s);
        libatspiLeaksTimedOutCalls.end();
        // Once it runs again it reads again. A write that timed out may
        // still land then (GTK handles the waiting request), so the field
        // holds either text.
        application->resume();
        EXPECT_TRUE(runLoopUntil([&] {
            const auto value = element->value();
            return value == "x" || value == "still here";
        }));

        // Gone: every read is absent at once.
        const pid_t pid = application->pid();
        application->kill();
        start = Clock::now();
        EXPECT_EQ(element->value(), std::nullopt);
        EXPECT_EQ(element->selectedTextRange(), std::nullopt);
        EXPECT_EQ(element->processIdentifier(), std::nullopt);
        EXPECT_FALSE(element->setValue("x"));
        EXPECT_FALSE(element->setSelectedTextRange({0, 0}));
        EXPECT_LT(Clock::now() - start, 2s);
        runLoopUntil([] { return false; }, 200ms);
        if (auto focused = accessibility.focusedElement()) {
            EXPECT_NE(focused->processIdentifier(), pid);
        }
    }
}

TEST_F(AtspiAccessibilitySerially, AccessibilitySwitchedOffIsNotTrustedAndAskingDoesNotSwitchItOn) {
    auto& bus = testing::AccessibilityBus::shared();
    ASSERT_TRUE(bus.setEnabled(false));
    AtspiAccessibility fresh;
    EXPECT_FALSE(fresh.isProcessTrusted());
    EXPECT_FALSE(fresh.requestTrustWithPrompt());
    EXPECT_FALSE(fresh.isProcessTrusted());
    ASSERT_TRUE(bus.setEnabled(true));
    EXPECT_TRUE(fresh.requestTrustWithPrompt());
    EXPECT_TRUE(fresh.isProcessTrusted());
}

// Without any accessibility bus the library must never be started: it would
// end this process. These run before or after the shared bus exists.
TEST(AtspiAccessibilityWithoutBus, NothingIsTrustedOrFocusedAndNothingEnds) {
    if (const auto missing = testing::PrivateSessionBus::missingPrograms(false); !missing.empty())
        GTEST_SKIP() << "not installed: " << missing;
    ensureApplication();
    testing::PrivateSessionBus session(false);
    ASSERT_TRUE(session.running()) << session.error();
    testing::TemporaryDirectory emptyRuntime;

    struct Case {
        const char* name;
        std::optional<std::string> address;
    } cases[] = {
        {"a session bus without the accessibility launcher", session.address()},
        {"the session bus switched off", std::string("disabled:")},
        {"no session bus at all", std::nullopt},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.name);
        ScopedEnvironment address("DBUS_SESSION_BUS_ADDRESS", each.address ? each.address->c_str() : nullptr);
        ScopedEnvironment runtime("XDG_RUNTIME_DIR", emptyRuntime.path().c_str());
        const auto start = Clock::now();
        AtspiAccessibility accessibility;
        EXPECT_FALSE(accessibility.isProcessTrusted());
        EXPECT_FALSE(accessibility.requestTrustWithPrompt());
        EXPECT_EQ(accessibility.focusedElement(), nullptr);
        EXPECT_LT(Clock::now() - start, 2s);
    }
}

}  // namespace
}  // namespace tavlo::atspi
