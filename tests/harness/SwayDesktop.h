#pragma once
// A private Wayland desktop for tests: sway without a screen or input
// devices (the headless back end, software rendering), with its own session
// bus and accessibility bus. sway will not run as root, and the tests often
// do, so then the whole session (sway, the buses, the program under test and
// the applications it types into) runs as an unprivileged user (TAVLO_TEST_USER,
// else "nobody") in folders of that user: a home, and a runtime folder that
// only it can open. Keys go in through `wtype`, which sway's key bindings
// see as typed; `wl-paste` reads the clipboard. Start-up is bounded in time;
// every program is stopped by its process id. Keyboard, focus and clipboard
// are shared by everything on it, so tests using it run one at a time.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "harness/TemporaryDirectory.h"

namespace tavlo::testing {

class SwayDesktop {
public:
    // The programs this needs that are not installed (empty when all are).
    static std::string missingPrograms();

    SwayDesktop();
    ~SwayDesktop();
    SwayDesktop(const SwayDesktop&) = delete;
    SwayDesktop& operator=(const SwayDesktop&) = delete;

    bool running() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    // The session's user and folders.
    uid_t uid() const { return uid_; }
    gid_t gid() const { return gid_; }
    std::filesystem::path home() const { return folder_ / "home"; }
    std::filesystem::path runtime() const { return folder_ / "runtime"; }

    // What a program of the session is started with: the command that runs
    // it as the session's user (empty when this process is that user), and
    // its environment (the Wayland display, the buses, the user's folders; no
    // X11 display).
    std::vector<std::string> asUser() const;
    std::map<std::string, std::string> environment() const;

    // Runs a program of the session to its end (bounded); its exit status,
    // or -1. `output` receives what it wrote, both streams.
    int run(const std::vector<std::string>& argv, std::string* output = nullptr,
            std::chrono::milliseconds limit = std::chrono::seconds(20)) const;
    // A sway command through its IPC socket (`swaymsg`).
    bool command(const std::string& text) const;
    // A key held through a virtual keyboard for `duration`, by its XKB name
    // ("F9"): starts at once; `waitForKeyRelease` waits for the release.
    // (The press and the release come from one keyboard: sway releases the
    // keys of a virtual keyboard that goes away.)
    bool holdKey(const std::string& key, std::chrono::milliseconds duration);
    bool waitForKeyRelease();
    // The clipboard's text; absent when it has none.
    std::optional<std::string> clipboard() const;
    // The process whose window has the keyboard focus, from sway's tree;
    // absent when no window has it.
    std::optional<int> focusedProcess() const;
    // The whole output as a PNG picture in the session's runtime folder
    // (grim); absent when it could not be taken.
    std::optional<std::filesystem::path> screenshot(const std::string& name) const;
    static bool canTakeScreenshots();

    // One desktop shared by every test of this program, started at first use
    // and stopped at exit.
    static SwayDesktop& shared();

private:
    bool start();
    bool waitUntil(const std::function<bool()>& ready, const std::string& what);
    void stop();

    TemporaryDirectory folder_;
    std::string error_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    bool switchUser_ = false;
    std::string waylandDisplay_;
    std::string swaySocket_;
    pid_t busPid_ = -1;
    pid_t launcherPid_ = -1;
    pid_t swayPid_ = -1;
    pid_t keyPid_ = -1;
    // A virtual keyboard kept for the whole session: without a keyboard in
    // the seat no window ever gets the keyboard focus.
    pid_t keyboardPid_ = -1;
    mutable int runs_ = 0;
};

}  // namespace tavlo::testing
