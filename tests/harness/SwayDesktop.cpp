#include "harness/SwayDesktop.h"

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "harness/ChildProcesses.h"

namespace tavlo::testing {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto startTimeout = std::chrono::seconds(20);
constexpr const char* launcherProgram = "/usr/libexec/at-spi-bus-launcher";
constexpr const char* setprivProgram = "/usr/bin/setpriv";

}  // namespace

std::string SwayDesktop::missingPrograms() {
    std::string missing;
    for (const char* program : {"sway", "swaymsg", "wtype", "wl-paste", "dbus-daemon", "dbus-send"})
        if (findProgram(program).empty()) missing += std::string(program) + " ";
    if (::access(launcherProgram, X_OK) != 0) missing += "at-spi-bus-launcher ";
    if (::getuid() == 0 && ::access(setprivProgram, X_OK) != 0) missing += "setpriv ";
    return missing;
}

SwayDesktop::SwayDesktop() {
    if (folder_.path().empty()) {
        error_ = "no temporary folder";
        return;
    }
    uid_ = ::getuid();
    gid_ = ::getgid();
    if (uid_ == 0) {
        // sway refuses root: the session belongs to an ordinary user.
        const char* name = std::getenv("TAVLO_TEST_USER");
        const passwd* user = ::getpwnam(name && *name ? name : "nobody");
        if (!user || user->pw_uid == 0) {
            error_ = "no unprivileged user to run sway as (set TAVLO_TEST_USER)";
            return;
        }
        uid_ = user->pw_uid;
        gid_ = user->pw_gid;
        switchUser_ = true;
    }
    for (const auto& sub : {"home/.config", "home/.local/share", "home/.local/state", "home/.cache", "runtime"})
        std::filesystem::create_directories(folder_ / sub);
    for (const auto& path : {folder_.path(), folder_ / "home", folder_ / "home/.config", folder_ / "home/.local",
                             folder_ / "home/.local/share", folder_ / "home/.local/state", folder_ / "home/.cache",
                             folder_ / "runtime"}) {
        if (::chown(path.c_str(), uid_, gid_) != 0) {
            error_ = "cannot give the session's folders to its user";
            return;
        }
    }
    ::chmod(folder_.path().c_str(), 0700);
    ::chmod((folder_ / "runtime").c_str(), 0700);
    if (!start()) stop();
}

SwayDesktop::~SwayDesktop() { stop(); }

std::vector<std::string> SwayDesktop::asUser() const {
    if (!switchUser_) return {};
    return {setprivProgram, "--reuid=" + std::to_string(uid_), "--regid=" + std::to_string(gid_), "--clear-groups"};
}

std::map<std::string, std::string> SwayDesktop::environment() const {
    std::map<std::string, std::string> variables = {
        {"HOME", home().string()},
        {"XDG_CONFIG_HOME", (home() / ".config").string()},
        {"XDG_DATA_HOME", (home() / ".local/share").string()},
        {"XDG_STATE_HOME", (home() / ".local/state").string()},
        {"XDG_CACHE_HOME", (home() / ".cache").string()},
        {"XDG_RUNTIME_DIR", runtime().string()},
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (runtime() / "bus").string()},
        {"GSETTINGS_BACKEND", "memory"},
        {"PULSE_RUNTIME_PATH", (runtime() / "pulse").string()},
    };
    if (!waylandDisplay_.empty()) variables["WAYLAND_DISPLAY"] = waylandDisplay_;
    if (!swaySocket_.empty()) variables["SWAYSOCK"] = swaySocket_;
    return variables;
}

namespace {

std::vector<std::string> withPrefix(std::vector<std::string> prefix, const std::vector<std::string>& argv) {
    prefix.insert(prefix.end(), argv.begin(), argv.end());
    return prefix;
}

std::vector<std::string> sessionEnvironment(const std::map<std::string, std::string>& variables) {
    std::vector<std::pair<std::string, std::string>> replaced(variables.begin(), variables.end());
    return childEnvironment(replaced, {"DISPLAY", "XAUTHORITY", "AT_SPI_BUS_ADDRESS", "SWAYSOCK", "WAYLAND_SOCKET"});
}

}  // namespace

bool SwayDesktop::waitUntil(const std::function<bool()>& ready, const std::string& what) {
    const auto deadline = Clock::now() + startTimeout;
    while (Clock::now() < deadline) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    error_ = what + " did not start in time";
    return false;
}

bool SwayDesktop::start() {
    const auto environment = sessionEnvironment(this->environment());
    busPid_ = spawn(withPrefix(asUser(), {findProgram("dbus-daemon"), "--session",
                                          "--address=unix:path=" + (runtime() / "bus").string(), "--nofork",
                                          "--nopidfile"}),
                    environment, folder_ / "dbus.log", nullptr);
    if (busPid_ <= 0 || !waitUntil([&] { return std::filesystem::exists(runtime() / "bus"); }, "the session bus")) {
        error_ += ": " + readLog(folder_ / "dbus.log");
        return false;
    }
    launcherPid_ = spawn(withPrefix(asUser(), {launcherProgram, "--launch-immediately", "--a11y=1"}), environment,
                         folder_ / "launcher.log", nullptr);
    const std::vector<std::string> enabled = {
        findProgram("dbus-send"), "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
        "org.freedesktop.DBus.Properties.Get", "string:org.a11y.Status", "string:IsEnabled"};
    if (launcherPid_ <= 0 || !waitUntil([&] { return run(enabled) == 0; }, "the accessibility bus")) {
        error_ += ": " + readLog(folder_ / "launcher.log");
        return false;
    }
    // The registry of accessible applications is started on demand; an
    // application that starts before it answers may stay unknown to it for
    // good, so it is called up (and waited for) before any application runs.
    const std::string registryPing =
        "exec " + findProgram("dbus-send") + " --bus=\"$(" + findProgram("dbus-send") +
        " --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress | tr -d ' ')\" "
        "--print-reply --dest=org.a11y.atspi.Registry /org/a11y/atspi/accessible/root org.freedesktop.DBus.Peer.Ping";
    if (!waitUntil([&] { return run({findProgram("sh"), "-c", registryPing}) == 0; }, "the accessibility registry")) {
        error_ += ": " + readLog(folder_ / "launcher.log");
        return false;
    }

    {
        std::ofstream config(folder_ / "sway.config");
        config << "xwayland disable\n"
                  "output HEADLESS-1 resolution 1280x800\n"
                  "focus_on_window_activation focus\n";
    }
    ::chmod((folder_ / "sway.config").c_str(), 0644);
    auto swayEnvironment = this->environment();
    swayEnvironment["WLR_BACKENDS"] = "headless";
    swayEnvironment["WLR_LIBINPUT_NO_DEVICES"] = "1";
    swayEnvironment["WLR_RENDERER"] = "pixman";
    swayPid_ = spawn(withPrefix(asUser(), {findProgram("sway"), "-c", (folder_ / "sway.config").string()}),
                     sessionEnvironment(swayEnvironment), folder_ / "sway.log", nullptr);
    const bool up = swayPid_ > 0 && waitUntil(
                                        [&] {
                                            if (exited(swayPid_)) return true;
                                            std::error_code ignored;
                                            for (const auto& entry :
                                                 std::filesystem::directory_iterator(runtime(), ignored)) {
                                                const std::string name = entry.path().filename().string();
                                                if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos)
                                                    waylandDisplay_ = name;
                                                if (name.rfind("sway-ipc.", 0) == 0) swaySocket_ = entry.path().string();
                                            }
                                            return !waylandDisplay_.empty() && command("nop");
                                        },
                                        "sway");
    if (!up || waylandDisplay_.empty()) {
        error_ = "sway did not start: " + readLog(folder_ / "sway.log");
        return false;
    }
    keyboardPid_ = spawn(withPrefix(asUser(), {findProgram("wtype"), "-s", "86400000"}),
                         sessionEnvironment(this->environment()), folder_ / "keyboard.log", nullptr);
    if (keyboardPid_ <= 0) {
        error_ = "cannot start the virtual keyboard";
        return false;
    }
    return true;
}

int SwayDesktop::run(const std::vector<std::string>& argv, std::string* output,
                     std::chrono::milliseconds limit) const {
    const auto log = folder_ / ("run-" + std::to_string(++runs_) + ".log");
    const pid_t pid = spawn(withPrefix(asUser(), argv), sessionEnvironment(environment()), log, nullptr);
    if (pid <= 0) return -1;
    const int status = waitForProcess(pid, limit);
    if (output) *output = readLog(log);
    std::error_code ignored;
    std::filesystem::remove(log, ignored);
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool SwayDesktop::command(const std::string& text) const { return run({findProgram("swaymsg"), text}) == 0; }

bool SwayDesktop::holdKey(const std::string& key, std::chrono::milliseconds duration) {
    if (keyPid_ > 0) return false;
    keyPid_ = spawn(withPrefix(asUser(), {findProgram("wtype"), "-P", key, "-s", std::to_string(duration.count()),
                                          "-p", key}),
                    sessionEnvironment(environment()), folder_ / "keys.log", nullptr);
    return keyPid_ > 0;
}

bool SwayDesktop::waitForKeyRelease() {
    if (keyPid_ <= 0) return false;
    const int status = waitForProcess(keyPid_, std::chrono::seconds(60));
    keyPid_ = -1;
    return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::optional<std::string> SwayDesktop::clipboard() const {
    const auto file = runtime() / "clipboard";
    const std::string script = "exec wl-paste --no-newline --type text/plain > '" + file.string() + "' 2>/dev/null";
    const int status = run({"/bin/sh", "-c", script});
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    if (status != 0) return std::nullopt;
    return text;
}

std::optional<int> SwayDesktop::focusedProcess() const {
    // The tree is JSON; Python reads it more simply than a test would.
    const std::string script =
        "swaymsg -t get_tree | python3 -c '\n"
        "import json, sys\n"
        "def walk(node):\n"
        "    if node.get(\"focused\") and node.get(\"pid\"): print(node[\"pid\"])\n"
        "    for child in node.get(\"nodes\", []) + node.get(\"floating_nodes\", []): walk(child)\n"
        "walk(json.load(sys.stdin))'";
    std::string output;
    if (run({"/bin/sh", "-c", script}, &output) != 0) return std::nullopt;
    try {
        return std::stoi(output);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool SwayDesktop::canTakeScreenshots() { return !findProgram("grim").empty(); }

std::optional<std::filesystem::path> SwayDesktop::screenshot(const std::string& name) const {
    const auto file = runtime() / (name + ".png");
    if (run({findProgram("grim"), file.string()}) != 0 || !std::filesystem::exists(file)) return std::nullopt;
    return file;
}

void SwayDesktop::stop() {
    for (pid_t* pid : {&keyPid_, &keyboardPid_, &swayPid_, &launcherPid_, &busPid_}) {
        if (*pid > 0) stopProcess(*pid);
        *pid = -1;
    }
}

SwayDesktop& SwayDesktop::shared() {
    static auto* desktop = new SwayDesktop();
    static const bool stopsAtExit = [] {
        std::atexit([] { desktop->stop(); });
        return true;
    }();
    (void)stopsAtExit;
    return *desktop;
}

}  // namespace tavlo::testing
