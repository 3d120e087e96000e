#include "platform/linux/portal/PortalRequest.h"

#include <gio/gio.h>
#include <unistd.h>

#include <algorithm>

namespace tavlo::portal {
namespace {

constexpr int callTimeoutMs = 5000;

// The request path the portal will use: our unique bus name without its
// colon, dots made underscores, then the token.
std::string requestPath(GDBusConnection* bus, const std::string& token) {
    std::string sender = g_dbus_connection_get_unique_name(bus);
    if (!sender.empty() && sender.front() == ':') sender.erase(0, 1);
    std::replace(sender.begin(), sender.end(), '.', '_');
    return std::string(portalPath) + "/request/" + sender + "/" + token;
}

}  // namespace

class PortalRequest : public std::enable_shared_from_this<PortalRequest> {
public:
    PortalRequest(GDBusConnection* bus, PortalAnswer answer, PortalFailure failure)
        : bus_(G_DBUS_CONNECTION(g_object_ref(bus))), answer_(std::move(answer)), failure_(std::move(failure)) {}
    ~PortalRequest() {
        if (subscription_) g_dbus_connection_signal_unsubscribe(bus_, subscription_);
        g_object_unref(bus_);
    }
    PortalRequest(const PortalRequest&) = delete;
    PortalRequest& operator=(const PortalRequest&) = delete;

    void send(const char* interface, const char* method, GVariant* parameters, const std::string& token) {
        // Each callback holds a weak reference: a dropped request hears nothing.
        auto* forSignal = new std::weak_ptr<PortalRequest>(weak_from_this());
        subscription_ = g_dbus_connection_signal_subscribe(
            bus_, nullptr, "org.freedesktop.portal.Request", "Response", requestPath(bus_, token).c_str(), nullptr,
            G_DBUS_SIGNAL_FLAGS_NONE, &PortalRequest::responded, forSignal,
            [](void* data) { delete static_cast<std::weak_ptr<PortalRequest>*>(data); });
        auto* forCall = new std::weak_ptr<PortalRequest>(weak_from_this());
        g_dbus_connection_call(bus_, portalName, portalPath, interface, method, parameters, G_VARIANT_TYPE("(o)"),
                               G_DBUS_CALL_FLAGS_NONE, callTimeoutMs, nullptr, &PortalRequest::called, forCall);
    }

private:
    static void responded(GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters,
                          void* data) {
        auto self = static_cast<std::weak_ptr<PortalRequest>*>(data)->lock();
        if (!self || !self->answer_) return;
        guint32 response = 2;
        GVariant* results = nullptr;
        g_variant_get(parameters, "(u@a{sv})", &response, &results);
        // Answered once: later signals on the path are not ours.
        const PortalAnswer answer = std::move(self->answer_);
        self->answer_ = nullptr;
        self->failure_ = nullptr;
        answer(response, results);
        g_variant_unref(results);
    }

    static void called(GObject* source, GAsyncResult* result, void* data) {
        std::unique_ptr<std::weak_ptr<PortalRequest>> weak(static_cast<std::weak_ptr<PortalRequest>*>(data));
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
        if (reply) {
            g_variant_unref(reply);
            return;
        }
        const std::string message = error ? error->message : "no answer";
        g_clear_error(&error);
        auto self = weak->lock();
        if (!self || !self->failure_) return;
        const PortalFailure failure = std::move(self->failure_);
        self->answer_ = nullptr;
        self->failure_ = nullptr;
        failure(message);
    }

    GDBusConnection* bus_;
    PortalAnswer answer_;
    PortalFailure failure_;
    unsigned subscription_ = 0;
};

std::string newRequestToken() {
    static unsigned count = 0;
    return "tavlo" + std::to_string(::getpid()) + "_" + std::to_string(++count);
}

std::shared_ptr<PortalRequest> requestOnPortal(GDBusConnection* bus, const char* interface, const char* method,
                                               GVariant* parameters, const std::string& token, PortalAnswer answer,
                                               PortalFailure failure) {
    auto request = std::make_shared<PortalRequest>(bus, std::move(answer), std::move(failure));
    request->send(interface, method, parameters, token);
    return request;
}

bool portalOffers(GDBusConnection* bus, const char* interface) {
    GVariant* reply = g_dbus_connection_call_sync(bus, portalName, portalPath, "org.freedesktop.DBus.Properties",
                                                  "Get", g_variant_new("(ss)", interface, "version"),
                                                  G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, callTimeoutMs,
                                                  nullptr, nullptr);
    if (!reply) return false;
    g_variant_unref(reply);
    return true;
}

}  // namespace tavlo::portal
