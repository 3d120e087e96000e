#pragma once
// Child processes that exist only on a virtual clock. The test decides per
// launch what the "program" does: fail to start, end after a while with a
// status and output (and a side effect such as writing its output file), or
// run until it is terminated. Termination handlers run as scheduled tasks,
// standing in for the background thread of the real launcher.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ProcessLauncher.h"

namespace tavlo {

class SimProcessLauncher final : public ProcessLauncher {
public:
    using Duration = std::chrono::steady_clock::duration;
    // Runs a task after a virtual delay (for example a SimMainQueue's postAfter).
    using Schedule = std::function<void(Duration, std::function<void()>)>;

    struct Script {
        std::optional<std::string> launchError;  // the launch fails with this text
        std::optional<Duration> endsAfter;       // absent: runs until terminated
        int exitStatus = 0;
        std::string standardOutput;
        std::string standardError;
        std::function<void()> effect;  // runs when the program ends by itself
    };
    using Behaviour = std::function<Script(const ProcessSpec&)>;

    class Process final : public ChildProcess, public std::enable_shared_from_this<Process> {
    public:
        bool isRunning() const override { return running_; }
        void terminate() override;
        int processIdentifier() const override { return pid_; }

        // Ends the program now, as if it exited by itself.
        void exit(int status, std::string standardOutput = {}, std::string standardError = {});
        bool wasTerminated() const { return terminated_; }

    private:
        friend class SimProcessLauncher;
        void end(ProcessTermination termination);

        Schedule schedule_;
        ProcessSpec spec_;
        TerminationHandler handler_;
        int pid_ = 0;
        bool running_ = true;
        bool terminated_ = false;
        bool endScheduled_ = false;
    };

    struct Launch {
        ProcessSpec launchSpec;
        std::shared_ptr<Process> process;  // null when the launch failed
    };

    explicit SimProcessLauncher(Schedule schedule) : schedule_(std::move(schedule)) {}

    // Without a behaviour every program ends at once with status 0.
    void setBehaviour(Behaviour behaviour) { behaviour_ = std::move(behaviour); }

    ProcessLaunch launch(const ProcessSpec& launchSpec, TerminationHandler onTermination) override;

    const std::vector<Launch>& launches() const { return launches_; }
    // Launches of the program with this file name ("ffmpeg", "whisper-server").
    std::vector<Launch> launchesOf(const std::string& programName) const;

private:
    Schedule schedule_;
    Behaviour behaviour_;
    std::vector<Launch> launches_;
    int nextPid_ = 1000;
};

}  // namespace tavlo
