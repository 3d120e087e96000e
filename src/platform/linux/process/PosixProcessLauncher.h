#pragma once
// Child processes through posix_spawn (fork and exec for children tied to the
// program's life): an argument vector and no shell, both
// pipes drained together, exit status and signal told apart, and SIGTERM that
// can never reach a recycled process id. Each child has one waiting thread,
// which reads its pipes, reaps it and runs its termination handler.
//
// Plain POSIX rather than GLib's GSubprocess: GLib hands the waiting over
// between its own threads with locks the thread sanitizer cannot see, so every
// use reported false races; here all hand-overs are ordinary C++ ones.
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ProcessLauncher.h"

namespace tavlo {

class PosixProcessLauncher final : public ProcessLauncher {
public:
    PosixProcessLauncher() = default;
    // Children still running are asked to end, and their termination handlers
    // run before this returns, so no waiting thread outlives the launcher.
    ~PosixProcessLauncher() override;

    PosixProcessLauncher(const PosixProcessLauncher&) = delete;
    PosixProcessLauncher& operator=(const PosixProcessLauncher&) = delete;

    ProcessLaunch launch(const ProcessSpec& launchSpec, TerminationHandler onTermination) override;

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
