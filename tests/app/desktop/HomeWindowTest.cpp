// The Home window in the running program: opened by starting the program a
// second time (as the desktop's launcher does), clicked and typed into with
// XTest as a user would, and judged by the settings file, the saved
// transcript and the clipboard.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstring>

#include <nlohmann/json.hpp>

#include "app/desktop/DesktopProgramFixture.h"
#include "harness/BackgroundProgram.h"
#include "harness/ChildProcesses.h"
#include "harness/RunProgram.h"

namespace tavlo::testing {
namespace {

namespace fs = std::filesystem;

// Where the controls are in the window, from its top-left corner. The window
// is made with a fixed layout, so these stay put on every desktop with the
// same fonts.
struct Point {
    int x, y;
};
constexpr Point holdRecordButton{651, 109};
constexpr Point holdSaveButton{716, 109};
constexpr Point cleanupButton{339, 267};
constexpr Point startAtLoginButton{339, 469};
constexpr Point saveChangesButton{803, 390};
constexpr Point transcribeSection{56, 205};
constexpr Point chooseFileButton{247, 256};

class HomeWindowSerially : public DesktopProgramFixture {
protected:
    void TearDown() override {
        if (display_) XCloseDisplay(display_);
    }

    // Starts the program a second time, which asks the running one to open
    // Home, and finds the window.
    Window openHome() {
        const auto again = runProgram(TAVLO_BINARY, {});
        EXPECT_EQ(again.status, 0) << again.err;
        EXPECT_NE(again.err.find("its Home window was asked to open"), std::string::npos) << again.err;
        if (!display_) display_ = XOpenDisplay(nullptr);
        Window home = None;
        waitFor([&] { return (home = windowNamed("Tavlo", 900)) != None; }, 15s);
        std::this_thread::sleep_for(500ms);  // mapped and drawn
        return home;
    }

    // A top-level window with this title and width.
    Window windowNamed(const char* title, int width) {
        Window root = DefaultRootWindow(display_), parent = None, *children = nullptr;
        unsigned count = 0;
        Window found = None;
        std::function<void(Window)> visit = [&](Window window) {
            char* name = nullptr;
            XWindowAttributes attributes{};
            if (XFetchName(display_, window, &name) && name) {
                if (std::strcmp(name, title) == 0 && XGetWindowAttributes(display_, window, &attributes) &&
                    attributes.map_state == IsViewable && (width == 0 || attributes.width == width))
                    found = window;
                XFree(name);
            }
            Window r, p, *inner = nullptr;
            unsigned n = 0;
            if (found == None && XQueryTree(display_, window, &r, &p, &inner, &n)) {
                for (unsigned i = 0; i < n && found == None; ++i) visit(inner[i]);
                if (inner) XFree(inner);
            }
        };
        if (XQueryTree(display_, root, &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count && found == None; ++i) visit(children[i]);
            if (children) XFree(children);
        }
        return found;
    }

    void click(Window window, Point at) {
        int x = 0, y = 0;
        Window child = None;
        XTranslateCoordinates(display_, window, DefaultRootWindow(display_), at.x, at.y, &x, &y, &child);
        XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
        XTestFakeButtonEvent(display_, 1, True, CurrentTime);
        XTestFakeButtonEvent(display_, 1, False, CurrentTime);
        XSync(display_, False);
        std::this_thread::sleep_for(400ms);
    }

    void key(KeySym symbol, bool down) {
        XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, symbol), down, CurrentTime);
        XSync(display_, False);
        std::this_thread::sleep_for(150ms);
    }

    // A menu is open: a large window that the window manager does not frame.
    bool popupShown() {
        Window root = DefaultRootWindow(display_), parent = None, *children = nullptr;
        unsigned count = 0;
        bool shown = false;
        if (XQueryTree(display_, root, &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count && !shown; ++i) {
                XWindowAttributes attributes{};
                shown = XGetWindowAttributes(display_, children[i], &attributes) && attributes.override_redirect &&
                        attributes.map_state == IsViewable && attributes.width > 100 && attributes.height > 100;
            }
            if (children) XFree(children);
        }
        return shown;
    }

    // Local Whisper with a whisper.cpp stand-in that says `words`, and its
    // models. whisper.cpp is looked for in the system's program folders, so
    // the stand-in takes that place in a mount namespace of the program's own
    // (see withWhisperStandIn). Says why when this machine cannot do that.
    std::string prepareWhisperStandIn(const std::string& words) {
        if (findProgram("unshare").empty()) return "unshare is not installed";
        const auto probe = runProgram(findProgram("unshare"), {"--user", "--map-root-user", "--mount", "true"});
        if (probe.status != 0) return "no private mount namespaces here: " + probe.err;
        fs::create_directories(home.path() / "bin");
        fs::create_symlink(fs::path(TAVLO_STANDIN_DIR) / "whisper-cli", home.path() / "bin/whisper-cli");
        fs::create_directories(home.path() / ".cache/whisper.cpp");
        for (const char* model : {"ggml-base.en.bin", "ggml-base.bin"})
            std::ofstream(home.path() / ".cache/whisper.cpp" / model) << "segment= " << words << "\n";
        fs::create_directories(home.path() / ".config/tavlo");
        std::ofstream(home.path() / ".config/tavlo/settings.json") << R"({"speechModel":"Local Whisper"})";
        return {};
    }
    // The arguments of `unshare` that start the program with the stand-in.
    std::vector<std::string> withWhisperStandIn() const {
        return {"--user", "--map-root-user", "--mount", "sh", "-c",
                "mount --bind \"$0\" /usr/local/bin && exec \"$@\"", (home.path() / "bin").string(), TAVLO_BINARY};
    }
    std::string settings() const { return readFile(home.path() / ".config/tavlo/settings.json"); }
    // One stored value; null while the file or the value is not there.
    nlohmann::json setting(const char* key) const {
        const auto stored = nlohmann::json::parse(settings(), nullptr, false);
        return stored.is_object() && stored.contains(key) ? stored[key] : nlohmann::json();
    }

    Display* display_ = nullptr;
};

TEST_F(HomeWindowSerially, ATriggerAndCleanupChangedOnHomeReachTheSettingsFileWhenSaved) {
    ScopedEnvironment environment(userEnvironment());
    BackgroundProgram program(TAVLO_BINARY, {});
    ASSERT_TRUE(launched()) << diagnostics();
    const Window window = openHome();
    ASSERT_NE(window, None) << diagnostics();

    // Record Ctrl+K as the hold trigger: the global triggers are off meanwhile.
    click(window, holdRecordButton);
    ASSERT_TRUE(waitFor([&] { return diagnostics().find("shortcut capture started") != std::string::npos; }, 5s))
        << diagnostics();
    key(XK_Control_L, true);
    key(XK_k, true);
    key(XK_k, false);
    key(XK_Control_L, false);
    click(window, holdSaveButton);
    EXPECT_TRUE(waitFor([&] { return diagnostics().find("shortcut capture ended") != std::string::npos; }, 5s))
        << diagnostics();
    // Only the draft changed so far.
    EXPECT_NE(setting("holdTrigger").value("data", nlohmann::json::object()).value("keyCode", -1), 40) << settings();

    click(window, cleanupButton);
    click(window, saveChangesButton);
    ASSERT_TRUE(waitFor([&] { return setting("cleanupEnabled") == false; }, 5s)) << settings();
    const auto trigger = setting("holdTrigger").value("data", nlohmann::json::object());
    EXPECT_EQ(trigger.value("keyCode", -1), 40) << settings();
    EXPECT_EQ(trigger.value("modifiers", -1), 4096) << settings();

    // Starting at login is off until asked for, and acts at once.
    const fs::path autostart = home.path() / ".config/autostart/app.tavlo.Tavlo.desktop";
    EXPECT_FALSE(fs::exists(autostart));
    click(window, startAtLoginButton);
    ASSERT_TRUE(waitFor([&] { return fs::exists(autostart); }, 5s));
    EXPECT_NE(readFile(autostart).find("Exec=\"" + std::string(TAVLO_BINARY) + "\""), std::string::npos)
        << readFile(autostart);
    click(window, startAtLoginButton);
    EXPECT_TRUE(waitFor([&] { return !fs::exists(autostart); }, 5s));
    ::kill(program.pid(), SIGTERM);
}

TEST_F(HomeWindowSerially, AFileChosenInTranscribeIsTranscribedCopiedAndSavedBesideIt) {
    for (const char* tool : {"espeak-ng", "xdotool", "xclip"})
        if (findProgram(tool).empty()) GTEST_SKIP() << tool << " is not installed";
    if (const auto problem = prepareWhisperStandIn("The minutes of the Monday meeting."); !problem.empty())
        GTEST_SKIP() << problem;
    const fs::path source = home.path() / "Music/meeting.wav";
    fs::create_directories(source.parent_path());
    ASSERT_EQ(runProgram(findProgram("espeak-ng"), {"-w", source.string(), "the minutes of the monday meeting"}).status,
              0);

    ScopedEnvironment environment(userEnvironment());
    BackgroundProgram program(findProgram("unshare"), withWhisperStandIn());
    ASSERT_TRUE(launched()) << diagnostics();
    const Window window = openHome();
    ASSERT_NE(window, None) << diagnostics();
    click(window, transcribeSection);
    click(window, chooseFileButton);
    ASSERT_TRUE(waitFor([&] { return windowNamed("Choose an audio or video file", 0) != None; }, 10s));
    std::this_thread::sleep_for(500ms);
    // The chooser's file name field has the focus.
    EXPECT_EQ(runProgram(findProgram("xdotool"), {"type", "--delay", "20", source.string()}).status, 0);
    EXPECT_EQ(runProgram(findProgram("xdotool"), {"key", "Return"}).status, 0);

    const fs::path transcript = home.path() / "Music/meeting-transcript.txt";
    ASSERT_TRUE(waitFor([&] { return fs::exists(transcript); }, 30s)) << diagnostics();
    EXPECT_EQ(readFile(transcript).find("The minutes of the Monday meeting."), 0u) << readFile(transcript);
    const auto clipboard = runProgram(findProgram("xclip"), {"-o", "-selection", "clipboard"});
    EXPECT_EQ(clipboard.out.find("The minutes of the Monday meeting."), 0u) << clipboard.out;
    ::kill(program.pid(), SIGTERM);
}

TEST_F(HomeWindowSerially, HomeInTheTrayMenuOpensTheWindow) {
    // trayer: a panel tray in the top right corner, as a desktop's panel has.
    if (findProgram("trayer").empty()) GTEST_SKIP() << "trayer is not installed";
    BackgroundProgram tray(findProgram("trayer"), {"--edge", "top", "--align", "right", "--widthtype", "pixel",
                                                   "--width", "100", "--height", "24", "--SetDockType", "true"});
    ScopedEnvironment environment(userEnvironment());
    BackgroundProgram program(TAVLO_BINARY, {});
    ASSERT_TRUE(launched()) << diagnostics();
    EXPECT_EQ(diagnostics().find("tray unavailable"), std::string::npos) << diagnostics();

    // The icon is the only one in the tray: at its right end. It is docked a
    // moment after the program starts; until then the click finds no menu.
    display_ = XOpenDisplay(nullptr);
    ASSERT_TRUE(display_);
    const int right = DisplayWidth(display_, DefaultScreen(display_));
    ASSERT_TRUE(waitFor(
        [&] {
            XTestFakeMotionEvent(display_, -1, right - 12, 12, CurrentTime);
            XTestFakeButtonEvent(display_, 3, True, CurrentTime);
            XTestFakeButtonEvent(display_, 3, False, CurrentTime);
            XSync(display_, False);
            return waitFor([&] { return popupShown(); }, 1s);
        },
        15s))
        << "no tray menu";
    std::this_thread::sleep_for(300ms);  // the menu has taken the keyboard
    // "Home" is the menu's first item.
    key(XK_Down, true);
    key(XK_Down, false);
    key(XK_Return, true);
    key(XK_Return, false);
    EXPECT_TRUE(waitFor([&] { return windowNamed("Tavlo", 900) != None; }, 15s)) << diagnostics();
    ::kill(program.pid(), SIGTERM);
}

TEST_F(HomeWindowSerially, AStopRequestEndsTheProgramEvenWhileADialogIsOpen) {
    // Files can be chosen only with an engine that transcribes them.
    if (const auto problem = prepareWhisperStandIn("Hello."); !problem.empty()) GTEST_SKIP() << problem;
    ScopedEnvironment environment(userEnvironment());
    BackgroundProgram program(findProgram("unshare"), withWhisperStandIn());
    ASSERT_TRUE(launched()) << diagnostics();
    const Window window = openHome();
    ASSERT_NE(window, None) << diagnostics();
    click(window, transcribeSection);
    click(window, chooseFileButton);
    ASSERT_TRUE(waitFor([&] { return windowNamed("Choose an audio or video file", 0) != None; }, 10s));

    // As at logout: the program ends at once, dialog or not.
    ::kill(program.pid(), SIGTERM);
    int status = 0;
    EXPECT_TRUE(waitFor([&] { return ::waitpid(program.pid(), &status, WNOHANG) == program.pid(); }, 10s))
        << "still running with the file chooser open";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace tavlo::testing
