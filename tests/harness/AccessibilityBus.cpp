#include "harness/AccessibilityBus.h"

#include <gio/gio.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "harness/ChildProcesses.h"
#include "harness/PrivateSessionBus.h"
#include "harness/XvfbDesktop.h"

namespace tavlo::testing {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto startTimeout = std::chrono::seconds(10);
constexpr const char* launcherProgram = "/usr/libexec/at-spi-bus-launcher";

GDBusConnection* connectTo(const std::string& address, bool messageBus = true) {
    auto flags = G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT;
    if (messageBus) flags = static_cast<GDBusConnectionFlags>(flags | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
    return g_dbus_connection_new_for_address_sync(address.c_str(), flags, nullptr, nullptr, nullptr);
}

void disconnect(GDBusConnection* connection) {
    if (!connection) return;
    g_dbus_connection_close_sync(connection, nullptr, nullptr);
    g_object_unref(connection);
}

// The accessibility bus's address from the launcher, or empty.
std::string accessibilityBusAddress(GDBusConnection* session) {
    GVariant* reply = g_dbus_connection_call_sync(session, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                                                  "GetAddress", nullptr, G_VARIANT_TYPE("(s)"),
                                                  G_DBUS_CALL_FLAGS_NO_AUTO_START, 1000, nullptr, nullptr);
    if (!reply) return {};
    const gchar* address = nullptr;
    g_variant_get(reply, "(&s)", &address);
    std::string result = address ? address : "";
    g_variant_unref(reply);
    return result;
}

// The registry answers a question about the desktop (the accessibility bus
// starts it on the first one).
bool registryAnswers(GDBusConnection* accessibilityBus) {
    GVariant* reply = g_dbus_connection_call_sync(
        accessibilityBus, "org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root",
        "org.freedesktop.DBus.Properties", "Get", g_variant_new("(ss)", "org.a11y.atspi.Accessible", "ChildCount"),
        G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr);
    if (!reply) return false;
    g_variant_unref(reply);
    return true;
}

}  // namespace

std::string AccessibilityBus::missingPrograms() {
    std::string missing;
    if (::access(launcherProgram, X_OK) != 0) missing += "at-spi-bus-launcher ";
    if (findProgram("dbus-daemon").empty()) missing += "dbus-daemon ";
    return missing;
}

AccessibilityBus::AccessibilityBus(const std::string& sessionBusAddress, const std::string& display)
    : sessionBusAddress_(sessionBusAddress) {
    if (folder_.path().empty()) {
        error_ = "no temporary folder";
        return;
    }
    // Settings stay in memory: nothing of the user's own desktop is changed.
    launcherPid_ = spawn({launcherProgram, "--launch-immediately", "--a11y=1"},
                         childEnvironment({{"DBUS_SESSION_BUS_ADDRESS", sessionBusAddress},
                                           {"DISPLAY", display},
                                           {"GSETTINGS_BACKEND", "memory"},
                                           {"HOME", folder_.path().string()},
                                           {"XDG_RUNTIME_DIR", folder_.path().string()}},
                                          {"AT_SPI_BUS_ADDRESS", "WAYLAND_DISPLAY"}),
                         folder_ / "launcher.log", nullptr);
    if (launcherPid_ <= 0) {
        error_ = "cannot start at-spi-bus-launcher";
        return;
    }
    if (!waitUntilReady()) {
        error_ = "the accessibility bus did not start in time: " + readLog(folder_ / "launcher.log");
        stop();
    }
}

bool AccessibilityBus::waitUntilReady() {
    const auto deadline = Clock::now() + startTimeout;
    GDBusConnection* session = nullptr;
    GDBusConnection* accessibility = nullptr;
    bool ready = false;
    while (!ready && Clock::now() < deadline && !exited(launcherPid_)) {
        if (!session) session = connectTo(sessionBusAddress_);
        if (session && !accessibility) {
            const std::string address = accessibilityBusAddress(session);
            if (!address.empty()) accessibility = connectTo(address);
        }
        ready = accessibility && registryAnswers(accessibility);
        if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    disconnect(accessibility);
    disconnect(session);
    return ready;
}

bool AccessibilityBus::setEnabled(bool enabled) {
    GDBusConnection* session = connectTo(sessionBusAddress_);
    if (!session) return false;
    GVariant* reply = g_dbus_connection_call_sync(
        session, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
        g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(enabled)), nullptr,
        G_DBUS_CALL_FLAGS_NO_AUTO_START, 1000, nullptr, nullptr);
    if (reply) g_variant_unref(reply);
    disconnect(session);
    return reply != nullptr;
}

void AccessibilityBus::stop() {
    stopProcess(launcherPid_);
    launcherPid_ = -1;
}

AccessibilityBus::~AccessibilityBus() { stop(); }

AccessibilityBus& AccessibilityBus::shared() {
    struct Shared {
        PrivateSessionBus session{false};
        std::unique_ptr<AccessibilityBus> accessibility;
    };
    static Shared* started = [] {
        auto* created = new Shared;
        auto& desktop = XvfbDesktop::shared();
        if (created->session.running()) created->session.useForThisProcess();
        created->accessibility = std::make_unique<AccessibilityBus>(
            created->session.running() ? created->session.address() : std::string("disabled:"),
            desktop.running() ? desktop.display() : std::string());
        std::atexit([] { delete started; });
        return created;
    }();
    return *started->accessibility;
}

}  // namespace tavlo::testing
