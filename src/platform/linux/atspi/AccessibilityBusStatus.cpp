#include "platform/linux/atspi/AccessibilityBusStatus.h"

#include <gio/gio.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

namespace tavlo::atspi {
namespace {

constexpr const char* launcherName = "org.a11y.Bus";
constexpr const char* launcherPath = "/org/a11y/bus";

struct PendingConnection {
    GDBusConnection* connection = nullptr;
    bool done = false;
};

// Connects without blocking for longer than `timeout`: a daemon that accepts
// and then never answers the handshake must not hang the program.
GDBusConnection* connectWithin(const std::string& address, std::chrono::milliseconds timeout) {
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GCancellable* cancellable = g_cancellable_new();
    PendingConnection pending;
    g_dbus_connection_new_for_address(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, cancellable,
        [](GObject*, GAsyncResult* result, gpointer data) {
            auto* waiting = static_cast<PendingConnection*>(data);
            waiting->connection = g_dbus_connection_new_for_address_finish(result, nullptr);
            waiting->done = true;
        },
        &pending);
    const gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(timeout.count()) * 1000;
    GSource* timer = g_timeout_source_new(static_cast<guint>(timeout.count()));
    g_source_set_callback(timer, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr, nullptr);
    g_source_attach(timer, context);
    while (!pending.done && g_get_monotonic_time() < deadline) g_main_context_iteration(context, TRUE);
    if (!pending.done) {
        g_cancellable_cancel(cancellable);
        while (!pending.done) g_main_context_iteration(context, TRUE);
    }
    g_source_destroy(timer);
    g_source_unref(timer);
    g_object_unref(cancellable);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    return pending.connection;
}

// Calls a launcher method without starting anything; null on any failure.
GVariant* callLauncher(GDBusConnection* connection, const char* interface, const char* method, GVariant* arguments,
                       const GVariantType* replyType, std::chrono::milliseconds timeout) {
    return g_dbus_connection_call_sync(connection, launcherName, launcherPath, interface, method, arguments,
                                       replyType, G_DBUS_CALL_FLAGS_NO_AUTO_START,
                                       static_cast<int>(timeout.count()), nullptr, nullptr);
}

}  // namespace

std::string sessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
        return address;
    // The bus that systemd-based sessions put in the runtime folder.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        const std::string socket = std::string(runtime) + "/bus";
        struct stat info {};
        if (::stat(socket.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) return "unix:path=" + socket;
    }
    return {};
}

AccessibilityBusStatus::AccessibilityBusStatus(std::chrono::milliseconds timeout) : timeout_(timeout) {}

AccessibilityBusStatus::~AccessibilityBusStatus() {
    if (connection_) {
        g_dbus_connection_close_sync(connection_, nullptr, nullptr);
        g_object_unref(connection_);
    }
}

GDBusConnection* AccessibilityBusStatus::sessionBus() {
    const std::string address = sessionBusAddress();
    if (connection_ && (address != address_ || g_dbus_connection_is_closed(connection_))) {
        g_dbus_connection_close_sync(connection_, nullptr, nullptr);
        g_object_unref(connection_);
        connection_ = nullptr;
    }
    if (!connection_ && !address.empty() && g_dbus_is_supported_address(address.c_str(), nullptr)) {
        connection_ = connectWithin(address, timeout_);
        // This connection is ours alone; losing it must not end the program.
        if (connection_) g_dbus_connection_set_exit_on_close(connection_, FALSE);
    }
    address_ = address;
    return connection_;
}

AccessibilityBusState AccessibilityBusStatus::read() {
    GDBusConnection* connection = sessionBus();
    if (!connection) return AccessibilityBusState::noSessionBus;
    GVariant* owned = g_dbus_connection_call_sync(
        connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
        g_variant_new("(s)", launcherName), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE,
        static_cast<int>(timeout_.count()), nullptr, nullptr);
    if (!owned) return AccessibilityBusState::noSessionBus;
    gboolean hasOwner = FALSE;
    g_variant_get(owned, "(b)", &hasOwner);
    g_variant_unref(owned);
    if (!hasOwner) return AccessibilityBusState::noLauncher;

    GVariant* reply = callLauncher(connection, "org.freedesktop.DBus.Properties", "Get",
                                   g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"), G_VARIANT_TYPE("(v)"),
                                   timeout_);
    if (!reply) return AccessibilityBusState::noLauncher;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    const bool enabled = g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
    g_variant_unref(value);
    g_variant_unref(reply);
    return enabled ? AccessibilityBusState::switchedOn : AccessibilityBusState::switchedOff;
}

bool AccessibilityBusStatus::busAddressAvailable() {
    GDBusConnection* connection = sessionBus();
    if (!connection) return false;
    // The launcher may have to start the bus first: allow it a little longer.
    const auto startTime = std::max(timeout_, std::chrono::milliseconds(1000));
    GVariant* reply = callLauncher(connection, launcherName, "GetAddress", nullptr, G_VARIANT_TYPE("(s)"), startTime);
    if (!reply) return false;
    const gchar* address = nullptr;
    g_variant_get(reply, "(&s)", &address);
    const bool available = address && *address;
    g_variant_unref(reply);
    return available;
}

}  // namespace tavlo::atspi
