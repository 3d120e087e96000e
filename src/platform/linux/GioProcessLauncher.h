#pragma once
// Child processes through GLib's GSubprocess: argument vectors without a
// shell, both pipes read without deadlock, exit status and signal told apart,
// and SIGTERM that can never reach a recycled process id.
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ProcessLauncher.h"

namespace tavlo {

class GioProcessLauncher final : public ProcessLauncher {
public:
    GioProcessLauncher() = default;
    // Children still running are asked to end, and their termination handlers
    // run before this returns, so no waiting thread outlives the launcher.
    ~GioProcessLauncher() override;

    GioProcessLauncher(const GioProcessLauncher&) = delete;
    GioProcessLauncher& operator=(const GioProcessLauncher&) = delete;

    ProcessLaunch launch(const ProcessSpec& spec, TerminationHandler onTermination) override;

private:
    struct Watch {
        std::shared_ptr<ChildProcess> process;
        std::thread waiter;
    };
    void joinEndedWaiters();

    std::mutex mutex_;
    std::vector<Watch> watches_;
};

}  // namespace tavlo
