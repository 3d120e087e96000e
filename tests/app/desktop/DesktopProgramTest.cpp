// The whole program on a private desktop: Xvfb with openbox, a session bus
// with the accessibility bus, a GTK text field of another process, and a
// private sound server whose virtual microphone hears espeak-ng speech. The
// program is the real executable; the test types with XTest and reads the
// field, the diagnostics log and the settings file, as a user would look.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include "app/desktop/DesktopProgramFixture.h"
#include "harness/AccessibilityBus.h"
#include "harness/BackgroundProgram.h"
#include "harness/ChildProcesses.h"
#include "harness/PulseAudioServer.h"
#include "harness/RunProgram.h"
#include "harness/TemporaryDirectory.h"
#include "harness/TextFieldApplication.h"
#include "harness/XvfbDesktop.h"

namespace tavlo::testing {
namespace {

class DesktopProgramSerially : public DesktopProgramFixture {};

TEST_F(DesktopProgramSerially, TheLaunchSelfTestPastesIntoTheFocusedEntryAndQuits) {
    TextFieldApplication field(Toolkit::gtk3, {"Dear Ann, ", 10, 10});
    ASSERT_TRUE(field.running()) << field.error();
    auto environment = userEnvironment();
    environment["SORVEL_SELF_TEST_PASTE_TEXT"] = "the report is done";
    environment["SORVEL_SELF_TEST_QUIT_AFTER"] = "1";
    const auto result = runProgram("/usr/bin/timeout", {"60", TAVLO_BINARY}, "", environment);
    EXPECT_EQ(result.status, 0) << result.err << diagnostics();
    const std::string log = diagnostics();
    EXPECT_NE(log.find("self-test requested chars=18 quitAfter=true"), std::string::npos) << log;
    EXPECT_NE(log.find("self-test start target="), std::string::npos) << log;
    const auto state = field.fieldState();
    ASSERT_TRUE(state);
    EXPECT_EQ(state->text, "Dear Ann, the report is done") << log;
}

TEST_F(DesktopProgramSerially, HoldingTheTriggerDictatesIntoTheFocusedEntryAndTheHistory) {
    if (const auto missing = PulseAudioServer::missingPrograms(); !missing.empty())
        GTEST_SKIP() << "not installed: " << missing;
    PulseAudioServer sound;
    ASSERT_TRUE(sound.running()) << sound.error();
    const auto speech = sound.speechFile("hello world, this is a test");
    TextFieldApplication field(Toolkit::gtk3, {"", 0, 0});
    ASSERT_TRUE(field.running()) << field.error();

    ScopedEnvironment environment(userEnvironment());
    BackgroundProgram program(TAVLO_BINARY, {});
    ASSERT_TRUE(launched()) << diagnostics();

    // Right Ctrl on its own is the function key on a keyboard without Fn.
    Display* keyboard = XOpenDisplay(nullptr);
    ASSERT_TRUE(keyboard);
    const KeyCode rightCtrl = XKeysymToKeycode(keyboard, XK_Control_R);
    XTestFakeKeyEvent(keyboard, rightCtrl, True, CurrentTime);
    XSync(keyboard, False);
    const bool listening = waitFor([&] { return diagnostics().find("fn down") != std::string::npos; }, 10s);
    // The first dictation loads the recogniser's model; give it a moment.
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(sound.startPlaying(speech));
    sound.waitForPlayback();
    std::this_thread::sleep_for(800ms);
    XTestFakeKeyEvent(keyboard, rightCtrl, False, CurrentTime);
    XSync(keyboard, False);
    XCloseDisplay(keyboard);
    ASSERT_TRUE(listening) << diagnostics();

    ASSERT_TRUE(waitFor([&] { return diagnostics().find("record complete chars=") != std::string::npos; }, 30s))
        << diagnostics();
    const std::string log = diagnostics();
    EXPECT_EQ(log.find("record complete chars=0 "), std::string::npos) << "nothing was heard: " << log;
    // What was heard is in the history and in the entry (the general model
    // gets synthetic speech's words wrong, so only that text arrived is checked).
    ASSERT_TRUE(waitFor([&] { return readFile(home.path() / ".config/tavlo/settings.json").find("\"appName\"") !=
                                     std::string::npos; },
                        5s))
        << readFile(home.path() / ".config/tavlo/settings.json");
    ASSERT_TRUE(waitFor(
        [&] {
            const auto state = field.fieldState();
            return state && !state->text.empty();
        },
        5s))
        << log;
    ::kill(program.pid(), SIGTERM);
}

TEST_F(DesktopProgramSerially, TheTriggerCommandsReachTheRunningProgramInAnX11SessionToo) {
    ScopedEnvironment environment(userEnvironment());
    BackgroundProgram program(TAVLO_BINARY, {});
    ASSERT_TRUE(launched()) << diagnostics();
    EXPECT_NE(diagnostics().find(" session=x11 triggers=x11-keys,commands"), std::string::npos) << diagnostics();
    EXPECT_EQ(diagnostics().find("trigger notice"), std::string::npos) << "X11 has its own keys: no notice";

    // Toggle asks for a dictation; cancel reaches the program as well.
    for (const char* word : {"toggle", "cancel"}) {
        SCOPED_TRACE(word);
        const auto result = runTavlo({"trigger", word});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out + result.err, "");
        ASSERT_TRUE(waitFor([&] { return diagnostics().find(std::string("trigger command=") + word) != std::string::npos; },
                            10s))
            << diagnostics();
        if (std::string(word) == "toggle") {
            ASSERT_TRUE(waitFor([&] { return diagnostics().find("record start requested") != std::string::npos; }, 10s))
                << diagnostics();
        }
    }
    ::kill(program.pid(), SIGTERM);
}

TEST_F(DesktopProgramSerially, QuitEndsTheRunningProgramAndWithoutOneSaysSo) {
    ScopedEnvironment environment(userEnvironment());
    const auto alone = runTavlo({"quit"});
    EXPECT_EQ(alone.status, 1);
    EXPECT_EQ(alone.err, "tavlo: Tavlo is not running\n");

    BackgroundProgram program(TAVLO_BINARY, {});
    ASSERT_TRUE(launched()) << diagnostics();
    const auto result = runTavlo({"quit"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out + result.err, "");
    // It ends by itself, cleanly, and the channel is free again.
    EXPECT_EQ(program.waitForExit(20s), 0) << diagnostics();
    EXPECT_EQ(runTavlo({"quit"}).status, 1);
}

TEST_F(DesktopProgramSerially, WithoutATrayTheUserIsToldOnceWhereTheMenuIs) {
    // A returning user (no welcome) on this desktop, which has no tray.
    const std::filesystem::path config = home.path() / ".config/tavlo";
    std::filesystem::create_directories(config);
    std::ofstream(config / "settings.json") << "{\"welcomeShown\": true}\n";
    ScopedEnvironment environment(userEnvironment());
    for (const bool first : {true, false}) {
        SCOPED_TRACE(first ? "first launch" : "second launch");
        std::filesystem::remove(home.path() / ".local/state/tavlo/Tavlo.log");
        BackgroundProgram program(TAVLO_BINARY, {});
        ASSERT_TRUE(launched()) << diagnostics();
        EXPECT_EQ(runTavlo({"quit"}).status, 0);
        EXPECT_EQ(program.waitForExit(20s), 0);
        // The whole log is written once the program has ended.
        EXPECT_NE(diagnostics().find("tray unavailable"), std::string::npos) << diagnostics();
        EXPECT_EQ(diagnostics().find("tray notice shown=true") != std::string::npos, first) << diagnostics();
    }
    EXPECT_NE(readFile(config / "settings.json").find("\"noTrayNoticeShown\": true"), std::string::npos)
        << readFile(config / "settings.json");
}

TEST_F(DesktopProgramSerially, TheCleanShortcutRewritesTheSelectionAndWithoutOneLeavesTheClipboardAlone) {
    for (const char* tool : {"xclip"})
        if (findProgram(tool).empty()) GTEST_SKIP() << tool << " is not installed";
    const std::string spoken = "um so I think uh we should ship it on Friday";
    TextFieldApplication field(Toolkit::gtk3, {spoken, 0, int(spoken.size())});
    ASSERT_TRUE(field.running()) << field.error();
    ScopedEnvironment environment(userEnvironment());
    BackgroundProgram program(TAVLO_BINARY, {});
    ASSERT_TRUE(launched()) << diagnostics();

    // Alt+5: the Clean style, on the selected text of the focused entry.
    Display* keyboard = XOpenDisplay(nullptr);
    ASSERT_TRUE(keyboard);
    auto chord = [&](KeySym key) {
        const KeyCode alt = XKeysymToKeycode(keyboard, XK_Alt_L), code = XKeysymToKeycode(keyboard, key);
        XTestFakeKeyEvent(keyboard, alt, True, CurrentTime);
        XTestFakeKeyEvent(keyboard, code, True, CurrentTime);
        XTestFakeKeyEvent(keyboard, code, False, CurrentTime);
        XTestFakeKeyEvent(keyboard, alt, False, CurrentTime);
        XSync(keyboard, False);
    };
    chord(XK_5);
    const bool rewritten = waitFor(
        [&] {
            const auto state = field.fieldState();
            return state && state->text != spoken && !state->text.empty();
        },
        15s);
    ASSERT_TRUE(rewritten) << diagnostics();
    const std::string cleaned = field.fieldState()->text;
    EXPECT_EQ(cleaned.find("um "), std::string::npos) << cleaned;
    EXPECT_EQ(cleaned.find(" uh "), std::string::npos) << cleaned;
    EXPECT_NE(cleaned.find("ship it on Friday"), std::string::npos) << cleaned;
    EXPECT_TRUE(waitFor([&] { return readFile(home.path() / ".config/tavlo/settings.json").find("ship it on Friday") !=
                                     std::string::npos; },
                        5s))
        << "the rewrite is in the history";

    // Nothing selected now: the clipboard the user had is given back and
    // nothing is added to the history.
    const auto history = readFile(home.path() / ".config/tavlo/settings.json");
    BackgroundProgram owner(findProgram("sh"), {"-c", "printf 'my own clipboard' | " + findProgram("xclip") +
                                                          " -selection clipboard -loops 3"});
    std::this_thread::sleep_for(500ms);
    const std::string logBefore = diagnostics();
    chord(XK_5);
    EXPECT_TRUE(waitFor([&] { return diagnostics().find("nothing selected", logBefore.size()) != std::string::npos; },
                        10s))
        << diagnostics();
    XCloseDisplay(keyboard);
    const auto clipboard = runProgram(findProgram("xclip"), {"-o", "-selection", "clipboard"});
    EXPECT_EQ(clipboard.out, "my own clipboard");
    EXPECT_EQ(readFile(home.path() / ".config/tavlo/settings.json"), history);
    ::kill(program.pid(), SIGTERM);
}

}  // namespace
}  // namespace tavlo::testing
