#include "platform/sim/SimProcessLauncher.h"

#include <csignal>
#include <filesystem>
#include <fstream>

namespace tavlo {
namespace {

// Output meant for a file lands there, as with the real launcher.
void deliver(const ProcessOutput& target, const std::string& text, std::string& piped) {
    if (target.kind == ProcessOutput::Kind::pipe) piped = text;
    if (target.kind == ProcessOutput::Kind::file && !text.empty())
        std::ofstream(target.path, std::ios::binary | std::ios::app) << text;
}

}  // namespace

void SimProcessLauncher::Process::end(ProcessTermination termination) {
    if (!running_) return;
    running_ = false;
    if (handler_) handler_(termination);
}

void SimProcessLauncher::Process::terminate() {
    if (!running_ || terminated_) return;
    terminated_ = true;
    schedule_(Duration::zero(), [self = shared_from_this()] {
        ProcessTermination termination;
        termination.reason = ProcessTermination::Reason::signalled;
        termination.status = SIGTERM;
        self->end(termination);
    });
}

void SimProcessLauncher::Process::exit(int status, std::string standardOutput, std::string standardError) {
    if (!running_ || endScheduled_) return;
    endScheduled_ = true;
    schedule_(Duration::zero(), [self = shared_from_this(), status, out = std::move(standardOutput),
                                            err = std::move(standardError)] {
        ProcessTermination termination;
        termination.status = status;
        deliver(self->spec_.standardOutput, out, termination.standardOutput);
        deliver(self->spec_.standardError, err, termination.standardError);
        self->end(termination);
    });
}

ProcessLaunch SimProcessLauncher::launch(const ProcessSpec& launchSpec, TerminationHandler onTermination) {
    Script script;
    script.endsAfter = Duration::zero();
    if (behaviour_) script = behaviour_(launchSpec);
    if (script.launchError) {
        launches_.push_back({launchSpec, nullptr});
        ++nextPid_;
        return {nullptr, *script.launchError};
    }
    auto process = std::make_shared<Process>();
    process->schedule_ = schedule_;
    process->spec_ = launchSpec;
    process->handler_ = std::move(onTermination);
    process->pid_ = nextPid_++;
    launches_.push_back({launchSpec, process});

    if (script.endsAfter) {
        schedule_(*script.endsAfter, [weak = std::weak_ptr<Process>(process), script] {
            auto self = weak.lock();
            if (!self || !self->running_ || self->endScheduled_ || self->terminated_) return;
            if (script.effect) script.effect();
            self->endScheduled_ = true;
            ProcessTermination termination;
            termination.status = script.exitStatus;
            deliver(self->spec_.standardOutput, script.standardOutput, termination.standardOutput);
            deliver(self->spec_.standardError, script.standardError, termination.standardError);
            self->end(termination);
        });
    }
    return {process, {}};
}

std::vector<SimProcessLauncher::Launch> SimProcessLauncher::launchesOf(const std::string& programName) const {
    std::vector<Launch> matching;
    for (const auto& launch : launches_)
        if (std::filesystem::path(launch.launchSpec.executable).filename() == programName) matching.push_back(launch);
    return matching;
}

}  // namespace tavlo
