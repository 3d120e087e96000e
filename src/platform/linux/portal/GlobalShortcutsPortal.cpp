#include "platform/linux/portal/GlobalShortcutsPortal.h"

#include <gio/gio.h>

#include "platform/linux/portal/PortalRequest.h"

namespace tavlo::portal {
namespace {

constexpr const char* shortcutsInterface = "org.freedesktop.portal.GlobalShortcuts";
constexpr int callTimeoutMs = 5000;

std::string problemFor(std::uint32_t response) {
    return response == 1 ? "The global shortcuts were declined in the desktop's dialog"
                         : "The desktop refused the global shortcuts";
}

}  // namespace


std::shared_ptr<GlobalShortcutsPortal> GlobalShortcutsPortal::create(GlobalShortcutsHandlers handlers) {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        g_clear_error(&error);
        return nullptr;
    }
    return std::shared_ptr<GlobalShortcutsPortal>(new GlobalShortcutsPortal(bus, std::move(handlers)));
}

GlobalShortcutsPortal::GlobalShortcutsPortal(GDBusConnection* bus, GlobalShortcutsHandlers handlers)
    : bus_(bus), handlers_(std::move(handlers)) {
    signalSubscription_ = g_dbus_connection_signal_subscribe(bus_, nullptr, shortcutsInterface, nullptr, portalPath,
                                                             nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
                                                             &GlobalShortcutsPortal::signalled, this, nullptr);
}

GlobalShortcutsPortal::~GlobalShortcutsPortal() {
    request_.reset();
    g_dbus_connection_signal_unsubscribe(bus_, signalSubscription_);
    // Closing the session takes the shortcuts back from the desktop.
    if (!session_.empty())
        g_dbus_connection_call(bus_, portalName, session_.c_str(), "org.freedesktop.portal.Session", "Close",
                               nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, callTimeoutMs, nullptr, nullptr, nullptr);
    g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
    g_object_unref(bus_);
}

bool GlobalShortcutsPortal::available() const { return portalOffers(bus_, shortcutsInterface); }


void GlobalShortcutsPortal::bind(std::vector<PortalShortcut> shortcuts) {
    wanted_ = std::move(shortcuts);
    bindWaiting_ = true;
    if (!session_.empty()) {
        sendBind();
        return;
    }
    if (!sessionRequested_) createSession();
}

void GlobalShortcutsPortal::request(const char* method, GVariant* parameters, const std::string& token,
                                    Answer answer) {
    std::weak_ptr<GlobalShortcutsPortal> weak = weak_from_this();
    request_ = requestOnPortal(
        bus_, shortcutsInterface, method, parameters, token,
        [weak, answer = std::move(answer)](std::uint32_t response, GVariant* results) {
            if (weak.lock()) answer(response, results);
        },
        [weak](const std::string& problem) {
            if (auto self = weak.lock()) self->fail("The desktop offers no global shortcuts (" + problem + ")");
        });
}

void GlobalShortcutsPortal::createSession() {
    sessionRequested_ = true;
    const std::string token = newRequestToken();
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    g_variant_builder_add(&options, "{sv}", "session_handle_token", g_variant_new_string(newRequestToken().c_str()));
    request("CreateSession", g_variant_new("(a{sv})", &options), token,
            [this](std::uint32_t response, GVariant* results) {
                sessionRequested_ = false;
                const char* handle = nullptr;
                if (response != 0 || !g_variant_lookup(results, "session_handle", "&s", &handle) || !handle) {
                    fail(problemFor(response));
                    return;
                }
                session_ = handle;
                if (bindWaiting_) sendBind();
            });
}

void GlobalShortcutsPortal::sendBind() {
    bindWaiting_ = false;
    GVariantBuilder shortcuts;
    g_variant_builder_init(&shortcuts, G_VARIANT_TYPE("a(sa{sv})"));
    for (const PortalShortcut& shortcut : wanted_) {
        GVariantBuilder details;
        g_variant_builder_init(&details, G_VARIANT_TYPE("a{sv}"));
        g_variant_builder_add(&details, "{sv}", "description", g_variant_new_string(shortcut.description.c_str()));
        if (!shortcut.preferredTrigger.empty())
            g_variant_builder_add(&details, "{sv}", "preferred_trigger",
                                  g_variant_new_string(shortcut.preferredTrigger.c_str()));
        g_variant_builder_add(&shortcuts, "(sa{sv})", shortcut.id.c_str(), &details);
    }
    const std::string token = newRequestToken();
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    request("BindShortcuts", g_variant_new("(oa(sa{sv})sa{sv})", session_.c_str(), &shortcuts, "", &options), token,
            [this](std::uint32_t response, GVariant* results) {
                GVariant* bound = response == 0 ? g_variant_lookup_value(results, "shortcuts", G_VARIANT_TYPE("a(sa{sv})"))
                                                : nullptr;
                if (!bound) {
                    fail(problemFor(response));
                    return;
                }
                reportBound(bound);
                g_variant_unref(bound);
            });
}

void GlobalShortcutsPortal::reportBound(GVariant* shortcuts) {
    std::vector<BoundShortcut> bound;
    GVariantIter iter;
    g_variant_iter_init(&iter, shortcuts);
    const char* id = nullptr;
    GVariant* details = nullptr;
    while (g_variant_iter_next(&iter, "(&s@a{sv})", &id, &details)) {
        BoundShortcut shortcut;
        shortcut.id = id;
        const char* description = nullptr;
        if (g_variant_lookup(details, "trigger_description", "&s", &description) && description)
            shortcut.triggerDescription = description;
        bound.push_back(std::move(shortcut));
        g_variant_unref(details);
    }
    if (handlers_.shortcutsBound) handlers_.shortcutsBound(bound);
}

void GlobalShortcutsPortal::fail(const std::string& problem) {
    if (handlers_.failed) handlers_.failed(problem);
}

void GlobalShortcutsPortal::signalled(GDBusConnection*, const char*, const char*, const char*, const char* signal,
                                      GVariant* parameters, void* data) {
    auto* self = static_cast<GlobalShortcutsPortal*>(data);
    const std::string name = signal;
    if (name == "Activated" || name == "Deactivated") {
        const char* session = nullptr;
        const char* id = nullptr;
        if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(osta{sv})"))) return;
        g_variant_get(parameters, "(&o&sta{sv})", &session, &id, nullptr, nullptr);
        if (session != self->session_) return;
        if (self->handlers_.shortcutChanged) self->handlers_.shortcutChanged(id, name == "Activated");
    } else if (name == "ShortcutsChanged") {
        if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(oa(sa{sv}))"))) return;
        const char* session = nullptr;
        GVariant* shortcuts = nullptr;
        g_variant_get(parameters, "(&o@a(sa{sv}))", &session, &shortcuts);
        if (session == self->session_) self->reportBound(shortcuts);
        g_variant_unref(shortcuts);
    }
}

}  // namespace tavlo::portal
