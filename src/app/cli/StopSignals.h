#pragma once
// SIGINT and SIGTERM for a command that must clean up before it ends (its
// work files, a child process): while the object lives, either signal runs
// `stopped` with the signal's number on the event loop's thread instead of
// ending the process at once. Make it inside the command's event loop.
#include <functional>
#include <memory>

namespace tavlo::cli {

class StopSignals {
public:
    explicit StopSignals(std::function<void(int signal)> stopped);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tavlo::cli
