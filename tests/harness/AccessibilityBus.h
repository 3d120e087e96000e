#pragma once
// The desktop's accessibility bus for tests: at-spi-bus-launcher on a private
// session bus and the private X server, started with accessibility switched
// on, ready once the launcher and the registry of applications answer.
// Start-up is bounded in time; the launcher (which ends its own bus and
// registry) is stopped by its process id when the object goes away.
#include <sys/types.h>

#include <string>

#include "harness/TemporaryDirectory.h"

namespace tavlo::testing {

class AccessibilityBus {
public:
    // The programs this needs that are not installed (empty when all are).
    static std::string missingPrograms();

    AccessibilityBus(const std::string& sessionBusAddress, const std::string& display);
    ~AccessibilityBus();
    AccessibilityBus(const AccessibilityBus&) = delete;
    AccessibilityBus& operator=(const AccessibilityBus&) = delete;

    bool running() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    // Switches accessibility on or off the way a desktop's settings do.
    bool setEnabled(bool enabled);

    // A private session bus (this process's from then on), the shared X
    // server and an accessibility bus on them, shared by every test of this
    // program: a process can start its accessibility library only once.
    // Started at first use and stopped at exit.
    static AccessibilityBus& shared();

private:
    bool waitUntilReady();
    void stop();

    TemporaryDirectory folder_;
    std::string sessionBusAddress_;
    std::string error_;
    pid_t launcherPid_ = -1;
};

}  // namespace tavlo::testing
