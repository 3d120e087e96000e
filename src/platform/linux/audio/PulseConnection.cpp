#include "platform/linux/audio/PulseConnection.h"

namespace tavlo {
namespace {

constexpr const char* errorDomain = "pulse";

void wakeOnStateChange(pa_context*, void* userdata) {
    static_cast<PulseConnection*>(userdata)->signal();
}

}  // namespace

PulseConnection::PulseConnection(const std::string& clientName, std::chrono::milliseconds timeout) {
    mainloop_ = pa_threaded_mainloop_new();
    if (!mainloop_) {
        error_ = PlatformError(errorDomain, PA_ERR_INTERNAL, "Cannot create the sound server event loop.");
        return;
    }
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, clientName.c_str());
    pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "production");
    context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(mainloop_), clientName.c_str(), properties);
    pa_proplist_free(properties);
    if (!context_) {
        error_ = PlatformError(errorDomain, PA_ERR_INTERNAL, "Cannot create a sound server connection.");
        return;
    }
    pa_context_set_state_callback(context_, wakeOnStateChange, this);
    if (pa_threaded_mainloop_start(mainloop_) < 0) {
        error_ = PlatformError(errorDomain, PA_ERR_INTERNAL, "Cannot start the sound server event loop.");
        return;
    }

    Lock lock(*this);
    // No autospawn: a missing server is reported, never started behind the user's back.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        error_ = lastErrorLocked("Cannot connect to the sound server.");
        return;
    }
    const bool ready = waitLocked([this] { return pa_context_get_state(context_) == PA_CONTEXT_READY; }, timeout);
    if (!ready) {
        error_ = contextFailedLocked() ? lastErrorLocked("Cannot connect to the sound server.")
                                       : PlatformError(errorDomain, PA_ERR_TIMEOUT,
                                                       "The sound server did not answer in time.");
    }
}

PulseConnection::~PulseConnection() {
    if (mainloop_) pa_threaded_mainloop_stop(mainloop_);
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (mainloop_) pa_threaded_mainloop_free(mainloop_);
}

bool PulseConnection::isReady() {
    if (error_) return false;
    Lock lock(*this);
    return pa_context_get_state(context_) == PA_CONTEXT_READY;
}

bool PulseConnection::contextFailedLocked() const {
    return !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_));
}

bool PulseConnection::waitLocked(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    // libpulse's wait has no time-out of its own: a timer event on the same
    // loop wakes the waiter when time is up.
    struct Deadline {
        PulseConnection* connection;
        bool passed = false;
    } deadline{this};
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(mainloop_);
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when), static_cast<pa_usec_t>(timeout.count()) * PA_USEC_PER_MSEC);
    pa_time_event* timer = api->time_new(
        api, &when,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* userdata) {
            auto* d = static_cast<Deadline*>(userdata);
            d->passed = true;
            d->connection->signal();
        },
        &deadline);
    bool result = done();
    while (!result && !deadline.passed && !contextFailedLocked()) {
        pa_threaded_mainloop_wait(mainloop_);
        result = done();
    }
    api->time_free(timer);
    return result;
}

bool PulseConnection::waitForOperationLocked(pa_operation* operation, std::chrono::milliseconds timeout) {
    if (!operation) return false;
    pa_operation_set_state_callback(
        operation, [](pa_operation*, void* userdata) { static_cast<PulseConnection*>(userdata)->signal(); }, this);
    const bool finished = waitLocked(
        [operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; }, timeout);
    if (!finished) pa_operation_cancel(operation);
    const bool completed = pa_operation_get_state(operation) == PA_OPERATION_DONE;
    pa_operation_unref(operation);
    return completed;
}

PlatformError PulseConnection::lastErrorLocked(const std::string& fallback) const {
    const int code = context_ ? pa_context_errno(context_) : 0;
    if (code == PA_OK) return PlatformError(errorDomain, PA_ERR_UNKNOWN, fallback);
    return PlatformError(errorDomain, code, pa_strerror(code));
}

}  // namespace tavlo
