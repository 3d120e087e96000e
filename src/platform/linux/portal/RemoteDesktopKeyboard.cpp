#include "platform/linux/portal/RemoteDesktopKeyboard.h"

#include <gio/gio.h>
#include <linux/input-event-codes.h>

#include <fstream>
#include <iterator>
#include <utility>

#include "platform/linux/portal/PortalRequest.h"

namespace tavlo::portal {
namespace {

constexpr const char* remoteDesktopInterface = "org.freedesktop.portal.RemoteDesktop";
constexpr std::uint32_t keyboardDevice = 1;
// Kept until the user revokes it in the desktop's settings.
constexpr std::uint32_t persistUntilRevoked = 2;

std::string problemFor(std::uint32_t response) {
    return response == 1 ? "Typing was declined in the desktop's dialog" : "The desktop refused to let Tavlo type";
}

GVariant* optionsWithToken(const std::string& token, GVariantBuilder* extra = nullptr) {
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    if (extra) {
        GVariant* more = g_variant_builder_end(extra);
        GVariantIter iter;
        g_variant_iter_init(&iter, more);
        const char* key = nullptr;
        GVariant* value = nullptr;
        while (g_variant_iter_next(&iter, "{&sv}", &key, &value)) {
            g_variant_builder_add(&options, "{sv}", key, value);
            g_variant_unref(value);
        }
        g_variant_unref(g_variant_ref_sink(more));
    }
    return g_variant_builder_end(&options);
}

}  // namespace

std::shared_ptr<RemoteDesktopKeyboard> RemoteDesktopKeyboard::create(Options options) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return nullptr;
    if (!portalOffers(bus, remoteDesktopInterface)) {
        g_object_unref(bus);
        return nullptr;
    }
    return std::shared_ptr<RemoteDesktopKeyboard>(new RemoteDesktopKeyboard(bus, std::move(options)));
}

RemoteDesktopKeyboard::RemoteDesktopKeyboard(GDBusConnection* bus, Options options)
    : bus_(bus), options_(std::move(options)) {}

RemoteDesktopKeyboard::~RemoteDesktopKeyboard() {
    request_.reset();
    if (!session_.empty())
        g_dbus_connection_call(bus_, portalName, session_.c_str(), "org.freedesktop.portal.Session", "Close", nullptr,
                               nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
    g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
    g_object_unref(bus_);
}

void RemoteDesktopKeyboard::start(std::function<void(bool)> ready) {
    if (started_) {
        if (ready) ready(true);
        return;
    }
    if (ready) waiting_.push_back(std::move(ready));
    if (starting_) return;
    starting_ = true;
    const std::string token = newRequestToken();
    GVariantBuilder extra;
    g_variant_builder_init(&extra, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&extra, "{sv}", "session_handle_token", g_variant_new_string(newRequestToken().c_str()));
    std::weak_ptr<RemoteDesktopKeyboard> weak = weak_from_this();
    request_ = requestOnPortal(
        bus_, remoteDesktopInterface, "CreateSession", g_variant_new("(@a{sv})", optionsWithToken(token, &extra)),
        token,
        [weak](std::uint32_t response, GVariant* results) {
            auto self = weak.lock();
            if (!self) return;
            const char* handle = nullptr;
            if (response != 0 || !g_variant_lookup(results, "session_handle", "&s", &handle) || !handle)
                return self->fail(problemFor(response));
            self->session_ = handle;
            self->selectDevices();
        },
        [weak](const std::string& problem) {
            if (auto self = weak.lock()) self->fail("The desktop offers no remote keyboard (" + problem + ")");
        });
}

void RemoteDesktopKeyboard::selectDevices() {
    const std::string token = newRequestToken();
    GVariantBuilder extra;
    g_variant_builder_init(&extra, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&extra, "{sv}", "types", g_variant_new_uint32(keyboardDevice));
    g_variant_builder_add(&extra, "{sv}", "persist_mode", g_variant_new_uint32(persistUntilRevoked));
    // The token of an earlier grant lets the desktop start without asking.
    std::ifstream stored(options_.restoreTokenFile);
    const std::string restoreToken((std::istreambuf_iterator<char>(stored)), {});
    if (!restoreToken.empty())
        g_variant_builder_add(&extra, "{sv}", "restore_token", g_variant_new_string(restoreToken.c_str()));
    std::weak_ptr<RemoteDesktopKeyboard> weak = weak_from_this();
    request_ = requestOnPortal(
        bus_, remoteDesktopInterface, "SelectDevices",
        g_variant_new("(o@a{sv})", session_.c_str(), optionsWithToken(token, &extra)), token,
        [weak](std::uint32_t response, GVariant*) {
            auto self = weak.lock();
            if (!self) return;
            if (response != 0) return self->fail(problemFor(response));
            self->startSession();
        },
        [weak](const std::string& problem) {
            if (auto self = weak.lock()) self->fail("The desktop refused the keyboard (" + problem + ")");
        });
}

void RemoteDesktopKeyboard::startSession() {
    const std::string token = newRequestToken();
    std::weak_ptr<RemoteDesktopKeyboard> weak = weak_from_this();
    request_ = requestOnPortal(
        bus_, remoteDesktopInterface, "Start", g_variant_new("(os@a{sv})", session_.c_str(), "", optionsWithToken(token)),
        token,
        [weak](std::uint32_t response, GVariant* results) {
            auto self = weak.lock();
            if (!self) return;
            guint32 devices = 0;
            g_variant_lookup(results, "devices", "u", &devices);
            if (response != 0 || !(devices & keyboardDevice)) return self->fail(problemFor(response));
            const char* restoreToken = nullptr;
            if (g_variant_lookup(results, "restore_token", "&s", &restoreToken) && restoreToken) {
                std::error_code ignored;
                std::filesystem::create_directories(self->options_.restoreTokenFile.parent_path(), ignored);
                std::ofstream(self->options_.restoreTokenFile, std::ios::trunc) << restoreToken;
            }
            self->starting_ = false;
            self->started_ = true;
            for (auto& ready : std::exchange(self->waiting_, {})) ready(true);
        },
        [weak](const std::string& problem) {
            if (auto self = weak.lock()) self->fail("The desktop refused the keyboard (" + problem + ")");
        });
}

void RemoteDesktopKeyboard::fail(const std::string& problem) {
    starting_ = false;
    if (options_.failed) options_.failed(problem);
    for (auto& ready : std::exchange(waiting_, {})) ready(false);
}

bool RemoteDesktopKeyboard::requestPostingPermission() {
    start();
    return started_;
}

desktop::TerminalKind RemoteDesktopKeyboard::kindOf(const std::optional<RunningApplication>& target) const {
    if (!target || !options_.terminalKind) return desktop::TerminalKind::notTerminal;
    return options_.terminalKind(*target);
}

void RemoteDesktopKeyboard::postPaste(const RunningApplication& target, Completion completion) {
    if (options_.focusedFieldTakesText && options_.focusedFieldTakesText()) {
        if (completion) completion(false);
        return;
    }
    if (kindOf(target) != desktop::TerminalKind::notTerminal)
        send({KEY_LEFTCTRL, KEY_LEFTSHIFT, KEY_V}, std::move(completion));
    else
        send({KEY_LEFTCTRL, KEY_V}, std::move(completion));
}

void RemoteDesktopKeyboard::postCopy(const std::optional<RunningApplication>& target, Completion completion) {
    if (kindOf(target) != desktop::TerminalKind::notTerminal)
        send({KEY_LEFTCTRL, KEY_LEFTSHIFT, KEY_C}, std::move(completion));
    else
        send({KEY_LEFTCTRL, KEY_C}, std::move(completion));
}

void RemoteDesktopKeyboard::postReturn(Completion completion) { send({KEY_ENTER}, std::move(completion)); }

void RemoteDesktopKeyboard::send(const Chord& chord, Completion completion) {
    if (!started_) {
        if (completion) completion(false);
        return;
    }
    std::vector<std::pair<std::int32_t, std::uint32_t>> events;
    for (const std::int32_t key : chord) events.emplace_back(key, 1);
    for (auto key = chord.rbegin(); key != chord.rend(); ++key) events.emplace_back(*key, 0);
    // The portal frontend handles calls on a pool of threads, so calls sent
    // back to back can reach the desktop in another order (a release before
    // its press). Each event goes out only once the one before it is taken.
    sendFrom(std::make_shared<KeyEvents>(KeyEvents{std::move(events), 0, std::move(completion)}));
}

void RemoteDesktopKeyboard::sendFrom(std::shared_ptr<KeyEvents> pending) {
    // After a refused event only the releases still go out, so no key is
    // left held down on the desktop.
    while (pending->refused && pending->next < pending->events.size() && pending->events[pending->next].second != 0)
        ++pending->next;
    if (pending->next == pending->events.size()) {
        if (pending->completion) pending->completion(!pending->refused);
        return;
    }
    const auto [key, state] = pending->events[pending->next++];
    struct Call {
        std::weak_ptr<RemoteDesktopKeyboard> keyboard;
        std::shared_ptr<KeyEvents> pending;
    };
    g_dbus_connection_call(
        bus_, portalName, portalPath, remoteDesktopInterface, "NotifyKeyboardKeycode",
        g_variant_new("(oa{sv}iu)", session_.c_str(), nullptr, key, state), nullptr, G_DBUS_CALL_FLAGS_NONE, -1,
        nullptr,
        [](GObject* source, GAsyncResult* result, void* data) {
            std::unique_ptr<Call> call(static_cast<Call*>(data));
            GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
            if (reply) g_variant_unref(reply);
            else call->pending->refused = true;
            if (auto self = call->keyboard.lock()) self->sendFrom(std::move(call->pending));
            else if (call->pending->completion) call->pending->completion(false);
        },
        new Call{weak_from_this(), std::move(pending)});
}

}  // namespace tavlo::portal
