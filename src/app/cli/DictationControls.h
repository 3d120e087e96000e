#pragma once
// The keyboard of a dictation started from a terminal: Enter (or the end of
// standard input) finishes it, Ctrl+C cancels it. Both arrive on the
// command's event loop, never inside a signal handler.
#include <functional>
#include <memory>

namespace tavlo::cli {

class DictationControls {
public:
    // Each handler runs at most once. Call only from the event loop's thread,
    // once its application object exists.
    DictationControls(std::function<void()> finish, std::function<void()> cancel);
    // Gives Ctrl+C back its usual meaning.
    ~DictationControls();
    DictationControls(const DictationControls&) = delete;
    DictationControls& operator=(const DictationControls&) = delete;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tavlo::cli
