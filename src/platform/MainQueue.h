#pragma once
// The queue of the thread that owns all program state. Work from other threads
// (audio capture, child-process waiters, network replies) is handed over by
// posting a task; delayed work is a task posted after a fixed time, kept as a
// work item where it may have to be withdrawn.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace tavlo {

// A delayed task that can be withdrawn until it runs. Cancelling is safe from
// any thread; a cancelled task never starts (one already running completes).
class WorkItem {
public:
    void cancel() noexcept { cancelled_.store(true, std::memory_order_release); }
    bool isCancelled() const noexcept { return cancelled_.load(std::memory_order_acquire); }

private:
    std::atomic<bool> cancelled_{false};
};

class MainQueue {
public:
    using Task = std::function<void()>;
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;
    using Duration = Clock::duration;

    virtual ~MainQueue() = default;

    // Runs `task` later on the main thread, never inside this call. Tasks
    // posted from one thread run in the order they were posted. Safe from any
    // thread.
    virtual void post(Task task) = 0;

    // Runs `task` on the main thread once `delay` has passed, unless the
    // returned item is cancelled first. Safe from any thread.
    virtual std::shared_ptr<WorkItem> postAfter(Duration delay, Task task) = 0;

    // The queue's clock: monotonic, the time base of the delays.
    virtual TimePoint now() const = 0;
};

}  // namespace tavlo
