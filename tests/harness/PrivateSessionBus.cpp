#include "harness/PrivateSessionBus.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gio/gio.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

extern char** environ;

namespace tavlo::testing {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto startTimeout = std::chrono::seconds(10);
constexpr const char* keyringPassword = "tavlo-test-password";

std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    folders += ":/usr/sbin:/sbin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + name;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

// This process's environment with some variables replaced and some removed.
std::vector<std::string> childEnvironment(const std::vector<std::pair<std::string, std::string>>& replaced,
                                          const std::vector<std::string>& removed) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        const std::string name = text.substr(0, text.find('='));
        bool drop = false;
        for (const auto& name2 : removed) drop = drop || name == name2;
        for (const auto& [name2, value] : replaced) drop = drop || name == name2;
        if (!drop) result.push_back(text);
    }
    for (const auto& [name, value] : replaced) result.push_back(name + "=" + value);
    return result;
}

// Starts a program with its output in a log file and, when given, its standard
// input from a pipe that receives `input` and is then closed. The program is
// killed if this process dies first, so a crashed test leaves nothing running.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
            const std::filesystem::path& log, const std::string* input) {
    // A socket rather than a pipe: writing to a program that already died then
    // fails with an error instead of killing this process with SIGPIPE.
    int inputPipe[2] = {-1, -1};
    if (input && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, inputPipe) != 0) return -1;
    const int logFile = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const int nullInput = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

    // Everything the child needs is prepared before fork: after it, only
    // async-signal-safe calls.
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<char*> env;
    for (const auto& entry : environment) env.push_back(const_cast<char*>(entry.c_str()));
    env.push_back(nullptr);
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        if (::dup2(input ? inputPipe[0] : nullInput, 0) < 0 || ::dup2(logFile, 1) < 0 || ::dup2(logFile, 2) < 0)
            ::_exit(127);
        ::execve(args[0], args.data(), env.data());
        ::_exit(127);
    }
    ::close(logFile);
    ::close(nullInput);
    if (input) {
        ::close(inputPipe[0]);
        if (pid > 0) {
            std::string_view rest = *input;
            while (!rest.empty()) {
                const ssize_t written = ::send(inputPipe[1], rest.data(), rest.size(), MSG_NOSIGNAL);
                if (written <= 0) break;
                rest.remove_prefix(static_cast<std::size_t>(written));
            }
        }
        ::close(inputPipe[1]);
    }
    return pid;
}

// Asks politely, then insists; always reaps the process.
void stopProcess(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    while (Clock::now() < deadline) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

bool exited(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == pid;
}

// A connection of our own (never the process's shared session connection).
GDBusConnection* connectTo(const std::string& address) {
    return g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
}

bool nameHasOwner(GDBusConnection* connection, const std::string& name) {
    GVariant* reply = g_dbus_connection_call_sync(
        connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
        g_variant_new("(s)", name.c_str()), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 1000, nullptr,
        nullptr);
    if (!reply) return false;
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
    return owned;
}

std::string readLog(const std::filesystem::path& path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace

std::string PrivateSessionBus::missingPrograms(bool withSecretService) {
    std::string missing;
    if (findProgram("dbus-daemon").empty()) missing += "dbus-daemon ";
    if (withSecretService && findProgram("gnome-keyring-daemon").empty()) missing += "gnome-keyring-daemon ";
    return missing;
}

PrivateSessionBus::PrivateSessionBus(bool withSecretService) {
    if (folder_.path().empty()) {
        error_ = "cannot create a temporary folder";
        return;
    }
    const auto socket = folder_ / "bus";
    address_ = "unix:path=" + socket.string();

    // No service folders: nothing is started on demand, so a name has an owner
    // only when the test started it.
    {
        std::ofstream config(folder_ / "bus.conf");
        config << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                  " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                  "<busconfig><type>session</type><listen>"
               << address_
               << "</listen><auth>EXTERNAL</auth>"
                  "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                  "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n";
    }

    const std::string daemon = findProgram("dbus-daemon");
    if (daemon.empty()) {
        error_ = "dbus-daemon is not installed";
        return;
    }
    busPid_ = spawn({daemon, "--config-file=" + (folder_ / "bus.conf").string(), "--nofork", "--nopidfile"},
                    childEnvironment({}, {}), folder_ / "dbus.log", nullptr);
    if (busPid_ <= 0) {
        error_ = "cannot start dbus-daemon";
        return;
    }
    if (!waitForName("org.freedesktop.DBus")) {
        error_ = "the private bus did not start in time: " + readLog(folder_ / "dbus.log");
        return;
    }
    if (!withSecretService) return;

    const std::string keyring = findProgram("gnome-keyring-daemon");
    if (keyring.empty()) {
        error_ = "gnome-keyring-daemon is not installed";
        return;
    }
    const auto runtime = folder_ / "runtime";
    std::filesystem::create_directories(home() / ".local/share");
    std::filesystem::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);
    const std::string password = keyringPassword;
    keyringPid_ = spawn({keyring, "--foreground", "--unlock", "--components=secrets"},
                        childEnvironment({{"DBUS_SESSION_BUS_ADDRESS", address_},
                                          {"HOME", home().string()},
                                          {"XDG_DATA_HOME", (home() / ".local/share").string()},
                                          {"XDG_CONFIG_HOME", (home() / ".config").string()},
                                          {"XDG_RUNTIME_DIR", runtime.string()}},
                                         {"DISPLAY", "WAYLAND_DISPLAY", "GNOME_KEYRING_CONTROL"}),
                        folder_ / "keyring.log", &password);
    if (keyringPid_ <= 0) {
        error_ = "cannot start gnome-keyring-daemon";
        return;
    }
    if (!waitForName("org.freedesktop.secrets"))
        error_ = "the Secret Service did not start in time: " + readLog(folder_ / "keyring.log");
}

bool PrivateSessionBus::waitForName(const std::string& name) {
    const auto deadline = Clock::now() + startTimeout;
    GDBusConnection* connection = nullptr;
    bool owned = false;
    while (!owned && Clock::now() < deadline) {
        if (exited(busPid_) || (keyringPid_ > 0 && exited(keyringPid_))) break;
        if (!connection) connection = connectTo(address_);
        owned = connection && nameHasOwner(connection, name);
        if (!owned) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (connection) {
        g_dbus_connection_close_sync(connection, nullptr, nullptr);
        g_object_unref(connection);
    }
    return owned;
}

void PrivateSessionBus::useForThisProcess() {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
    usedByThisProcess_ = true;
}

void PrivateSessionBus::stop() {
    if (usedByThisProcess_) {
        // GLib ends a process whose session bus goes away; that is right for a
        // desktop program, not for a test that stops its own bus.
        if (GDBusConnection* session = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
            g_dbus_connection_set_exit_on_close(session, FALSE);
            g_object_unref(session);
        }
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    }
    stopProcess(keyringPid_);
    stopProcess(busPid_);
    keyringPid_ = busPid_ = -1;
}

PrivateSessionBus::~PrivateSessionBus() { stop(); }

PrivateSessionBus& PrivateSessionBus::sharedWithSecretService() {
    static PrivateSessionBus* bus = [] {
        auto* started = new PrivateSessionBus(true);
        if (started->running()) started->useForThisProcess();
        std::atexit([] { delete bus; });
        return started;
    }();
    return *bus;
}

}  // namespace tavlo::testing
