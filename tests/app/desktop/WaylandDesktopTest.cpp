// The whole program on a private Wayland desktop: sway without a screen,
// its own session and accessibility buses, native Wayland applications, and
// the program itself as a native client run by the session's user. Keys go
// through sway's own bindings, as a user's would: the program hears its
// trigger from the `tavlo trigger` commands the bindings run.
#include <gtest/gtest.h>

#include <QImage>

#include <signal.h>

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <thread>

#include "app/desktop/DesktopProgramFixture.h"
#include "harness/BackgroundProgram.h"
#include "harness/ChildProcesses.h"
#include "harness/PulseAudioServer.h"
#include "harness/RunProgram.h"
#include "harness/SwayDesktop.h"
#include "harness/TextFieldApplication.h"

namespace tavlo::testing {
namespace {

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// How many pixels differ between two screenshots in the strip along the
// right edge where the bubble sits (its size and margin, halfway down).
int changedPixelsAtTheRightEdge(const std::filesystem::path& first, const std::filesystem::path& second) {
    const QImage a(QString::fromStdString(first.string()));
    const QImage b(QString::fromStdString(second.string()));
    if (a.isNull() || a.size() != b.size()) return -1;
    int changed = 0;
    for (int y = a.height() / 2 - 40; y < a.height() / 2 + 40; ++y)
        for (int x = a.width() - 80; x < a.width(); ++x)
            if (y >= 0 && x >= 0 && a.pixel(x, y) != b.pixel(x, y)) ++changed;
    return changed;
}

class WaylandDesktopSerially : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& missing : {SwayDesktop::missingPrograms(), TextFieldApplication::missingPrograms(Toolkit::gtk3)})
            if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing;
        if (!sway().running()) GTEST_SKIP() << "sway cannot start here: " << sway().error();
        // Each test starts with an empty home: no settings, no history.
        for (const char* sub : {".config/tavlo", ".local/state/tavlo", ".local/share/tavlo"}) {
            std::error_code ignored;
            std::filesystem::remove_all(sway().home() / sub, ignored);
        }
        // Past the first start: sway gives the focus to every new window, the
        // welcome and the notice of a missing tray included, and these tests
        // need it on their own fields.
        const std::filesystem::path config = sway().home() / ".config/tavlo";
        std::filesystem::create_directories(config);
        std::filesystem::permissions(config, std::filesystem::perms::owner_all);
        {
            std::ofstream settings(config / "settings.json");
            settings << "{\"welcomeShown\": true, \"noTrayNoticeShown\": true}\n";
        }
        std::filesystem::permissions(config / "settings.json",
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        for (const auto& path : {sway().home() / ".config", config, config / "settings.json"})
            if (::chown(path.c_str(), sway().uid(), sway().gid()) != 0) ADD_FAILURE() << "cannot chown " << path;
    }
    static SwayDesktop& sway() { return SwayDesktop::shared(); }

    TextFieldSetup onSway(TextFieldSetup setup) const {
        setup.runAs = sway().asUser();
        setup.waylandSession = sway().environment();
        return setup;
    }
    // As the session's user, and without this process's X11 display: the
    // accessibility library would look for its bus there.
    std::vector<std::string> asUser(const std::vector<std::string>& argv) const {
        auto command = sway().asUser();
        command.insert(command.end(), {"/usr/bin/env", "-u", "DISPLAY", "-u", "XAUTHORITY"});
        command.insert(command.end(), argv.begin(), argv.end());
        return command;
    }
    // Runs tavlo as the session's user; the first word of the result is the program.
    ProgramResult tavlo(const std::vector<std::string>& args) const {
        auto command = asUser({TAVLO_BINARY});
        command.insert(command.end(), args.begin(), args.end());
        const std::string program = command.front();
        command.erase(command.begin());
        return runProgram(program, command, "", sway().environment());
    }
    std::string diagnostics() const { return readFile(sway().home() / ".local/state/tavlo/Tavlo.log"); }
    bool logged(const std::string& text, std::chrono::milliseconds limit = 30s) const {
        return waitFor([&] { return diagnostics().find(text) != std::string::npos; }, limit);
    }
};

TEST_F(WaylandDesktopSerially, ASwayBindingHoldsTheTriggerAndTheSpeechLandsInTheNativeGtkEntryAndTheHistory) {
    if (const auto missing = PulseAudioServer::missingPrograms(); !missing.empty())
        GTEST_SKIP() << "not installed: " << missing;
    PulseAudioServer sound;
    ASSERT_TRUE(sound.running()) << sound.error();
    ASSERT_TRUE(sound.openToOtherUsers());
    const auto speech = sound.speechFile("hello world, this is a test");
    TextFieldApplication field(Toolkit::gtk3, onSway({"", 0, 0}));
    ASSERT_TRUE(field.running()) << field.error();

    // The lines a user puts in the sway configuration.
    const std::string tavloPath = TAVLO_BINARY;
    ASSERT_TRUE(sway().command("bindsym --no-repeat F9 exec " + tavloPath + " trigger start"));
    ASSERT_TRUE(sway().command("bindsym --release F9 exec " + tavloPath + " trigger stop"));

    // The screen before the program runs, to find the bubble on later.
    const auto before = SwayDesktop::canTakeScreenshots() ? sway().screenshot("before") : std::nullopt;

    ScopedEnvironment scoped(sway().environment());
    const auto command = asUser({TAVLO_BINARY});
    BackgroundProgram program(command.front(), {command.begin() + 1, command.end()});
    ASSERT_TRUE(logged("launch bundle=")) << diagnostics();
    // No notification service on this desktop: the notice is in the log at
    // least, a moment after the launch line.
    EXPECT_TRUE(logged("trigger notice shown=false")) << diagnostics();
    const std::string launch = diagnostics();
    // sway lends a virtual keyboard for the paste keystroke.
    EXPECT_NE(launch.find(" session=wayland triggers=commands delivery=accessibility,keystroke,clipboard"),
              std::string::npos)
        << launch;

    ASSERT_TRUE(sway().holdKey("F9", 7s));
    ASSERT_TRUE(logged("trigger command=start", 10s)) << diagnostics();
    // The first dictation loads the recogniser's model; give it a moment.
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(sound.startPlaying(speech));
    // While listening the bubble is up at the right edge, halfway down, as
    // a layer surface: the entry keeps the keyboard.
    if (before) {
        const auto listening = sway().screenshot("listening");
        ASSERT_TRUE(listening);
        EXPECT_GT(changedPixelsAtTheRightEdge(*before, *listening), 200) << "no bubble at the right edge";
    }
    EXPECT_EQ(sway().focusedProcess(), field.pid());
    sound.waitForPlayback();
    ASSERT_TRUE(sway().waitForKeyRelease());
    ASSERT_TRUE(logged("trigger command=stop", 10s)) << diagnostics();

    ASSERT_TRUE(logged("record complete chars=")) << diagnostics();
    const std::string log = diagnostics();
    EXPECT_EQ(log.find("record complete chars=0 "), std::string::npos) << "nothing was heard: " << log;
    // The general model gets synthetic speech's words wrong: only that text
    // arrived is checked, in the entry and in the history.
    ASSERT_TRUE(waitFor(
        [&] {
            const auto state = field.fieldState();
            return state && !state->text.empty();
        },
        10s))
        << log;
    EXPECT_TRUE(logged("paste outcome=accessibilityInserted", 5s)) << diagnostics();
    EXPECT_EQ(sway().focusedProcess(), field.pid()) << "the focus moved during the dictation";
    // The text stays on the clipboard too, set without the focus, for the
    // other applications to read.
    EXPECT_EQ(sway().clipboard(), field.fieldState().value_or(TextFieldApplication::FieldState{}).text);
    EXPECT_TRUE(waitFor([&] { return readFile(sway().home() / ".config/tavlo/settings.json").find("\"appName\"") !=
                                      std::string::npos; },
                        5s))
        << readFile(sway().home() / ".config/tavlo/settings.json");
    ::kill(program.pid(), SIGTERM);
}

TEST_F(WaylandDesktopSerially, PasteWritesAtTheCaretOfNativeGtkAndQtFields) {
    struct Case {
        const char* name;
        Toolkit toolkit;
        TextFieldSetup setup;
        std::string text;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"GtkAtTheEnd", Toolkit::gtk3, {"Dear Ann, ", 10, 10}, "the report is done", "Dear Ann, the report is done"},
        // "café" with a combining acute, and an emoji of two UTF-16 units, over a selection.
        {"GtkOverASelectionWithEmojiAndCombiningMarks", Toolkit::gtk3, {"I like tea a lot", 7, 10},
         "cafe\xcc\x81 \xf0\x9f\x98\x80", "I like cafe\xcc\x81 \xf0\x9f\x98\x80 a lot"},
        {"QtOverASelectionWithEmojiAndCombiningMarks", Toolkit::qt, {"I like tea a lot", 7, 10},
         "cafe\xcc\x81 \xf0\x9f\x98\x80", "I like cafe\xcc\x81 \xf0\x9f\x98\x80 a lot"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TextFieldApplication field(c.toolkit, onSway(c.setup));
        ASSERT_TRUE(field.running()) << field.error();
        const auto result = tavlo({"paste", c.text});
        EXPECT_EQ(result.status, 0) << result.err << diagnostics();
        EXPECT_EQ(result.out, "accessibilityInserted\n") << result.err;
        const auto state = field.fieldState();
        ASSERT_TRUE(state);
        EXPECT_EQ(state->text, c.expected);
    }
}

// A field with no editable text for the accessibility bus (a terminal, a
// canvas) gets the text from the clipboard through the paste keystroke of
// a virtual keyboard.
TEST_F(WaylandDesktopSerially, PasteIntoAFieldThatTakesNoWrittenTextGoesThroughTheClipboardAndTheKeystroke) {
    TextFieldSetup setup{"$ ", 2, 2};
    setup.pasteOnly = true;
    TextFieldApplication field(Toolkit::gtk3, onSway(setup));
    ASSERT_TRUE(field.running()) << field.error();
    const std::string text = "ls -la ~/caf\xc3\xa9 \xf0\x9f\x98\x80";
    // The canvas is announced once its window is active, but the
    // accessibility bus can take a moment longer to show it focused; until
    // then a paste finds no target and changes nothing, so it is tried again.
    ProgramResult result;
    waitFor([&] {
        result = tavlo({"paste", text});
        return result.out != "noTarget\n";
    }, 10s);
    EXPECT_EQ(result.status, 0) << result.err << diagnostics();
    // Nothing to read back from such a field: the keystroke is trusted.
    EXPECT_EQ(result.out, "keyboardSent\n") << result.err;
    EXPECT_NE(diagnostics().find("paste shortcutSent=true"), std::string::npos) << diagnostics();
    const auto state = field.fieldState();
    ASSERT_TRUE(state);
    EXPECT_EQ(state->text, "$ " + text);
}

// A rewrite style bound in the compositor: `tavlo trigger clean` rewrites
// the selection of the focused native entry in place.
TEST_F(WaylandDesktopSerially, ARewriteStyleCommandRewritesTheSelectionOfTheNativeGtkEntry) {
    const std::string spoken = "um so I think uh we should ship it on Friday";
    TextFieldApplication field(Toolkit::gtk3, onSway({spoken, 0, int(spoken.size())}));
    ASSERT_TRUE(field.running()) << field.error();
    ScopedEnvironment scoped(sway().environment());
    const auto command = asUser({TAVLO_BINARY});
    BackgroundProgram program(command.front(), {command.begin() + 1, command.end()});
    ASSERT_TRUE(logged("launch bundle=")) << diagnostics();

    const auto result = tavlo({"trigger", "clean"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
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
    ::kill(program.pid(), SIGTERM);
}

TEST_F(WaylandDesktopSerially, PasteWithNothingFocusedSaysTheTextIsNotOnTheClipboard) {
    const auto result = tavlo({"paste", "nobody will see this"});
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(result.out, "noTarget\n");
    EXPECT_NE(result.err.find("it is not on the clipboard"), std::string::npos) << result.err;
    EXPECT_NE(sway().clipboard().value_or(""), "nobody will see this");
    EXPECT_NE(diagnostics().find("paste no-target chars=20"), std::string::npos) << diagnostics();
}

// Where the desktop offers the GlobalShortcuts portal (the real frontend,
// with the tests' desktop side behind it), the hold shortcut's press and
// release start and stop a dictation, as the commands would, and the stop
// shortcut ends a hands-free one.
TEST_F(WaylandDesktopSerially, TheDesktopsGlobalShortcutsHoldTheTrigger) {
    if (::access("/usr/libexec/xdg-desktop-portal", X_OK) != 0) GTEST_SKIP() << "not installed: xdg-desktop-portal";
    if (const auto missing = PulseAudioServer::missingPrograms(); !missing.empty())
        GTEST_SKIP() << "not installed: " << missing;
    // A microphone, so that the dictations really listen.
    PulseAudioServer sound;
    ASSERT_TRUE(sound.running()) << sound.error();
    ASSERT_TRUE(sound.openToOtherUsers());
    const auto portals = sway().runtime() / "portals";
    std::filesystem::create_directories(portals);
    std::ofstream(portals / "tavlo-test.portal") << "[portal]\nDBusName=org.tavlo.TestShortcutsPortal\n"
                                                    "Interfaces=org.freedesktop.impl.portal.GlobalShortcuts;\n"
                                                    "UseIn=tavlotest\n";
    std::filesystem::permissions(portals, std::filesystem::perms::all);
    ScopedEnvironment scoped(sway().environment());
    const auto backendCommand = asUser({"/usr/bin/python3", std::string(TAVLO_TEST_SOURCE_DIR) +
                                                                "/harness/shortcuts_portal_backend.py"});
    BackgroundProgram backend(backendCommand.front(), {backendCommand.begin() + 1, backendCommand.end()});
    auto owned = [&](const std::string& name) {
        return waitFor(
            [&] {
                std::string output;
                sway().run({"gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                            "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner", name},
                           &output);
                return output.find("true") != std::string::npos;
            },
            15s);
    };
    ASSERT_TRUE(owned("org.tavlo.TestShortcutsPortal"));
    const auto frontendCommand =
        asUser({"XDG_DESKTOP_PORTAL_DIR=" + portals.string(), "XDG_CURRENT_DESKTOP=tavlotest",
                "/usr/libexec/xdg-desktop-portal"});
    BackgroundProgram frontend(frontendCommand.front(), {frontendCommand.begin() + 1, frontendCommand.end()});
    ASSERT_TRUE(owned("org.freedesktop.portal.Desktop"));

    const auto command = asUser({TAVLO_BINARY});
    BackgroundProgram program(command.front(), {command.begin() + 1, command.end()});
    ASSERT_TRUE(logged("trigger portal bound hold=CTRL+ALT+space,toggle=CTRL+ALT+d")) << diagnostics();
    EXPECT_NE(diagnostics().find(" triggers=portal,commands "), std::string::npos) << diagnostics();
    // No binding notice: the desktop's shortcuts are the triggers.
    EXPECT_EQ(diagnostics().find("trigger notice"), std::string::npos) << diagnostics();

    auto act = [&](const char* method, const char* shortcut = "hold") {
        return sway().run({"gdbus", "call", "--session", "--dest", "org.tavlo.TestShortcutsPortal", "--object-path",
                           "/org/freedesktop/portal/desktop", "--method",
                           std::string("org.tavlo.TestShortcuts.") + method, shortcut}) == 0;
    };
    ASSERT_TRUE(act("Press"));
    EXPECT_TRUE(logged("trigger command=start", 10s)) << diagnostics();
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(act("Release"));
    EXPECT_TRUE(logged("trigger command=stop", 10s)) << diagnostics();

    // Return's stand-in stops a hands-free dictation, which a release would not.
    EXPECT_NE(diagnostics().find(",finish=CTRL+ALT+Return"), std::string::npos) << diagnostics();
    ASSERT_TRUE(logged("record complete", 20s)) << diagnostics();
    const std::size_t stopsBefore = occurrences(diagnostics(), "record stop requested");
    ASSERT_TRUE(act("Press", "toggle"));
    ASSERT_TRUE(waitFor([&] { return occurrences(diagnostics(), "record start requested") == 2; }, 10s))
        << diagnostics();
    // Pressed until the dictation listens (before that it does nothing).
    EXPECT_TRUE(waitFor(
        [&] {
            act("Press", "finish");
            act("Release", "finish");
            return waitFor([&] { return occurrences(diagnostics(), "record stop requested") > stopsBefore; }, 500ms);
        },
        15s))
        << diagnostics();
    ::kill(program.pid(), SIGTERM);
    ::kill(frontend.pid(), SIGTERM);
    ::kill(backend.pid(), SIGTERM);
}

// Without a running program the commands say so, on any desktop.
TEST(TriggerCommandTest, WithoutARunningProgramEachCommandSaysSoAndFails) {
    TemporaryDirectory home;
    ASSERT_TRUE(std::filesystem::create_directories(home.path() / "runtime"));
    std::filesystem::permissions(home.path() / "runtime", std::filesystem::perms::owner_all);
    auto environment = freshUserEnvironment(home.path());
    environment["XDG_RUNTIME_DIR"] = (home.path() / "runtime").string();
    for (const char* word : {"start", "stop", "toggle", "cancel", "professional", "casual", "list", "clean"}) {
        SCOPED_TRACE(word);
        const auto result = runTavlo({"trigger", word}, "", environment);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "tavlo: Tavlo is not running; start it first\n");
    }
    for (const std::vector<std::string>& args : {std::vector<std::string>{"trigger"},
                                                 {"trigger", "verbatim"},
                                                 {"trigger", "start", "now"}}) {
        const auto result = runTavlo(args, "", environment);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err.rfind("usage: tavlo trigger start|stop|toggle|cancel|professional|casual|list|clean\n", 0),
                  0u)
            << result.err;
    }
    // A socket left by a program that is gone is not a running program.
    const auto folder = home.path() / "runtime" / "tavlo";
    std::filesystem::create_directories(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace);
    const auto stale = folder / "instance";
    const auto listener = runProgram("/usr/bin/python3",
                                     {"-c", "import socket,sys; s=socket.socket(socket.AF_UNIX); s.bind(sys.argv[1])",
                                      stale.string()});
    ASSERT_EQ(listener.status, 0) << listener.err;
    const auto result = runTavlo({"trigger", "start"}, "", environment);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "tavlo: Tavlo is not running; start it first\n");
}

}  // namespace
}  // namespace tavlo::testing
