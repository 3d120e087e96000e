#pragma once
// One connection to the sound server with its own event thread (libpulse's
// threaded main loop). Every wait on the server is bounded in time, so a
// server that hangs or dies never blocks the caller for long.
#include <pulse/pulseaudio.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "platform/PlatformError.h"

namespace tavlo {

class PulseConnection {
public:
    static constexpr std::chrono::milliseconds defaultTimeout{3000};

    // Connects; check `error()`. Never starts a server of its own.
    explicit PulseConnection(const std::string& clientName,
                             std::chrono::milliseconds timeout = defaultTimeout);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // The reason the connection could not be made, or absent when it is ready.
    const std::optional<PlatformError>& error() const { return error_; }
    bool isReady();

    pa_context* context() const { return context_; }
    pa_threaded_mainloop* mainloop() const { return mainloop_; }

    // Holds the event thread's lock for a scope; libpulse objects of this
    // connection may only be touched under it.
    class Lock {
    public:
        explicit Lock(PulseConnection& connection) : mainloop_(connection.mainloop_) {
            pa_threaded_mainloop_lock(mainloop_);
        }
        ~Lock() { pa_threaded_mainloop_unlock(mainloop_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* mainloop_;
    };

    // With the lock held: waits until `done` holds, the server connection
    // fails, or `timeout` passes. Returns whether `done` holds.
    bool waitLocked(const std::function<bool()>& done, std::chrono::milliseconds timeout = defaultTimeout);
    // With the lock held: waits for an operation to finish, cancelling it on
    // time-out. Takes over the reference. Returns whether it completed.
    bool waitForOperationLocked(pa_operation* operation, std::chrono::milliseconds timeout = defaultTimeout);

    // Wakes a waiting thread; called from callbacks on the event thread.
    void signal() { pa_threaded_mainloop_signal(mainloop_, 0); }

    // The server's own description of the last failure.
    PlatformError lastErrorLocked(const std::string& fallback) const;

private:
    bool contextFailedLocked() const;

    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    std::optional<PlatformError> error_;
};

}  // namespace tavlo
