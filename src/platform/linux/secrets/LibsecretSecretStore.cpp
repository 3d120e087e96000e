#include "platform/linux/secrets/LibsecretSecretStore.h"

#include <libsecret/secret.h>

#include <memory>

namespace tavlo {
namespace {

const SecretSchema* schema() {
    static const SecretSchema definition = {
        "com.tavlo.app.Secret",
        SECRET_SCHEMA_NONE,
        {
            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    };
    return &definition;
}

// The outcome of one asynchronous call, shared with its callback so that a
// callback arriving after we gave up writes into memory that still exists.
struct Pending {
    bool done = false;
    GAsyncResult* result = nullptr;
    ~Pending() {
        if (result) g_object_unref(result);
    }
};

void onFinished(GObject*, GAsyncResult* result, gpointer data) {
    auto* holder = static_cast<std::shared_ptr<Pending>*>(data);
    (*holder)->result = G_ASYNC_RESULT(g_object_ref(result));
    (*holder)->done = true;
    delete holder;
}

gboolean cancelOnTimeout(gpointer cancellable) {
    g_cancellable_cancel(G_CANCELLABLE(cancellable));
    return G_SOURCE_REMOVE;
}

gboolean stopWaiting(gpointer flag) {
    *static_cast<bool*>(flag) = true;
    return G_SOURCE_REMOVE;
}

GSource* attachTimer(GMainContext* context, std::chrono::milliseconds delay, GSourceFunc function,
                     gpointer data) {
    GSource* timer = g_timeout_source_new(static_cast<guint>(delay.count()));
    g_source_set_callback(timer, function, data, nullptr);
    g_source_attach(timer, context);
    return timer;
}

void detachTimer(GSource* timer) {
    g_source_destroy(timer);
    g_source_unref(timer);
}

// Starts an asynchronous libsecret call on a private main context and iterates
// that context until the call finishes. The time-out cancels the call; should
// the service not even honour the cancellation, we stop waiting after a grace
// period (the call then counts as failed).
template <class Start>
std::shared_ptr<Pending> runWithTimeout(std::chrono::milliseconds timeout, Start start) {
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GCancellable* cancellable = g_cancellable_new();
    bool gaveUp = false;
    GSource* cancelTimer = attachTimer(context, timeout, cancelOnTimeout, cancellable);
    GSource* giveUpTimer = attachTimer(context, timeout + std::chrono::seconds(2), stopWaiting, &gaveUp);

    auto pending = std::make_shared<Pending>();
    start(cancellable, onFinished, new std::shared_ptr<Pending>(pending));
    while (!pending->done && !gaveUp) g_main_context_iteration(context, TRUE);

    // The service proxies were made on this context: drop them, and let the
    // context run the clean-up they leave behind (signal subscriptions end on
    // the context that made them), so nothing waits on a context that nobody
    // will run again.
    if (pending->done) {
        secret_service_disconnect();
        for (int round = 0; round < 1000 && g_main_context_iteration(context, FALSE); ++round) {
        }
    }

    detachTimer(cancelTimer);
    detachTimer(giveUpTimer);
    g_object_unref(cancellable);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    return pending;
}

LibsecretSecretStore::Status statusOf(const GError* error) {
    using Status = LibsecretSecretStore::Status;
    if (!error) return Status::ok;
    if (error->domain == G_IO_ERROR) {
        // Cancelled means the time-out fired: something answers, but not in time.
        return error->code == G_IO_ERROR_CANCELLED ? Status::failed : Status::unavailable;
    }
    if (error->domain == G_DBUS_ERROR) {
        switch (error->code) {
        case G_DBUS_ERROR_SERVICE_UNKNOWN:
        case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
        case G_DBUS_ERROR_NO_SERVER:
        case G_DBUS_ERROR_DISCONNECTED:
        case G_DBUS_ERROR_SPAWN_EXEC_FAILED:
        case G_DBUS_ERROR_SPAWN_FAILED:
        case G_DBUS_ERROR_SPAWN_CHILD_EXITED:
        case G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND:
        case G_DBUS_ERROR_SPAWN_SERVICE_INVALID:
            return Status::unavailable;
        default: break;
        }
    }
    return Status::failed;
}

}  // namespace

LibsecretSecretStore::LibsecretSecretStore(std::chrono::milliseconds timeout) : timeout_(timeout) {}

LibsecretSecretStore::Lookup LibsecretSecretStore::lookup(const SecretIdentity& identity) {
    const auto pending = runWithTimeout(timeout_, [&](GCancellable* cancellable, auto callback, gpointer data) {
        secret_password_lookup(schema(), cancellable, callback, data, "service", identity.service.c_str(),
                               "account", identity.account.c_str(), nullptr);
    });
    if (!pending->done) return {Status::failed, std::nullopt};
    GError* error = nullptr;
    gchar* password = secret_password_lookup_finish(pending->result, &error);
    Lookup lookup{statusOf(error), std::nullopt};
    if (error) g_error_free(error);
    if (password) {
        // Text that is not UTF-8 is not a key we could have stored.
        if (g_utf8_validate(password, -1, nullptr)) lookup.secret = std::string(password);
        secret_password_free(password);
    }
    return lookup;
}

LibsecretSecretStore::Status LibsecretSecretStore::store(const SecretIdentity& identity,
                                                         std::string_view secret) {
    const std::string text(secret);
    const std::string label = "Tavlo: " + identity.account;
    const auto pending = runWithTimeout(timeout_, [&](GCancellable* cancellable, auto callback, gpointer data) {
        secret_password_store(schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), text.c_str(), cancellable,
                              callback, data, "service", identity.service.c_str(), "account",
                              identity.account.c_str(), nullptr);
    });
    if (!pending->done) return Status::failed;
    GError* error = nullptr;
    const gboolean stored = secret_password_store_finish(pending->result, &error);
    Status status = statusOf(error);
    if (error) g_error_free(error);
    if (status == Status::ok && !stored) status = Status::failed;
    return status;
}

LibsecretSecretStore::Status LibsecretSecretStore::clear(const SecretIdentity& identity) {
    const auto pending = runWithTimeout(timeout_, [&](GCancellable* cancellable, auto callback, gpointer data) {
        secret_password_clear(schema(), cancellable, callback, data, "service", identity.service.c_str(),
                              "account", identity.account.c_str(), nullptr);
    });
    if (!pending->done) return Status::failed;
    GError* error = nullptr;
    secret_password_clear_finish(pending->result, &error);  // false without error: there was none
    const Status status = statusOf(error);
    if (error) g_error_free(error);
    return status;
}

std::optional<std::string> LibsecretSecretStore::secret(const SecretIdentity& identity) {
    return lookup(identity).secret;
}

bool LibsecretSecretStore::replaceSecret(const SecretIdentity& identity, std::string_view secret) {
    return store(identity, secret) == Status::ok;
}

bool LibsecretSecretStore::deleteSecret(const SecretIdentity& identity) {
    return clear(identity) == Status::ok;
}

}  // namespace tavlo
