#pragma once
// Whether the desktop's accessibility bus is switched on and running, read
// from its launcher on the session bus. Nothing is started on demand, no
// session bus is invented when there is none, and every question is bounded
// in time, so asking is safe on a desktop without accessibility.
#include <chrono>
#include <string>

typedef struct _GDBusConnection GDBusConnection;

namespace tavlo::atspi {

enum class AccessibilityBusState {
    noSessionBus,        // no session bus, or it does not answer
    noLauncher,          // nothing owns the accessibility bus name
    switchedOff,         // the launcher runs, but accessibility is off
    switchedOn,
};

class AccessibilityBusStatus {
public:
    explicit AccessibilityBusStatus(std::chrono::milliseconds timeout = std::chrono::milliseconds(250));
    ~AccessibilityBusStatus();
    AccessibilityBusStatus(const AccessibilityBusStatus&) = delete;
    AccessibilityBusStatus& operator=(const AccessibilityBusStatus&) = delete;

    AccessibilityBusState read();
    // Whether the launcher hands out the accessibility bus's address (it
    // starts that bus if it has not yet); asked before the accessibility
    // library connects, which would end the process if it got no address.
    bool busAddressAvailable();

private:
    GDBusConnection* sessionBus();

    std::chrono::milliseconds timeout_;
    std::string address_;
    GDBusConnection* connection_ = nullptr;
};

// The session bus address from the environment, without any fallback that
// would start a bus; empty when there is none.
std::string sessionBusAddress();

}  // namespace tavlo::atspi
