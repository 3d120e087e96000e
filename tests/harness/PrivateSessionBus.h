#pragma once
// A private D-Bus session bus for tests, optionally with a Secret Service
// (gnome-keyring, its login keyring created and unlocked with a fixed
// password), all in a temporary folder. Nothing of the user's own session is
// used or touched. Start-up is bounded in time; both programs are stopped by
// their process ids when the object goes away.
#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>

#include "harness/TemporaryDirectory.h"

namespace tavlo::testing {

class PrivateSessionBus {
public:
    // The programs this needs that are not installed (empty when all are).
    static std::string missingPrograms(bool withSecretService);

    // Starts the bus and, when asked, the Secret Service; check `error()`.
    explicit PrivateSessionBus(bool withSecretService);
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    bool running() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    // For DBUS_SESSION_BUS_ADDRESS.
    const std::string& address() const { return address_; }
    // The folder the Secret Service uses as its home.
    std::filesystem::path home() const { return folder_ / "home"; }

    // Makes this process's session bus the private one (before anything in it
    // has used the session bus) and keeps it so until the object goes away.
    void useForThisProcess();

    // One bus with a Secret Service shared by every test of this program, since a
    // process connects to its session bus once. Started at first use and stopped
    // at exit; the result never changes within a run.
    static PrivateSessionBus& sharedWithSecretService();

private:
    bool waitForName(const std::string& name);
    void stop();

    TemporaryDirectory folder_;
    std::string address_;
    std::string error_;
    pid_t busPid_ = -1;
    pid_t keyringPid_ = -1;
    bool usedByThisProcess_ = false;
};

}  // namespace tavlo::testing
