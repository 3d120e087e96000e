#include "harness/PrivateSessionBus.h"
#include "harness/ChildProcesses.h"

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

namespace tavlo::testing {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto startTimeout = std::chrono::seconds(10);
constexpr const char* keyringPassword = "tavlo-test-password";

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
