#pragma once
// A main queue on a virtual clock. Nothing runs until the test says so: it
// runs what is due now, or moves the clock forward and runs every task that
// falls due on the way, in order of due time and then of posting. Posting is
// safe from any thread; running happens on the thread that asks for it.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/MainQueue.h"

namespace tavlo {

class SimMainQueue final : public MainQueue {
public:
    void post(Task task) override;
    std::shared_ptr<WorkItem> postAfter(Duration delay, Task task) override;
    TimePoint now() const override;

    // Runs every task due now, including those they post for now, and returns
    // how many ran (cancelled items are not counted).
    std::size_t runUntilIdle() { return advanceBy(Duration::zero()); }

    // Moves the clock forward by `duration`, running the tasks that fall due
    // on the way, each at its own due time.
    std::size_t advanceBy(Duration duration);

    // Tasks waiting, cancelled or not.
    std::size_t pendingTaskCount() const;

private:
    struct Entry {
        Task task;
        std::shared_ptr<WorkItem> item;  // null for plain posts
    };
    using Key = std::pair<TimePoint, std::uint64_t>;

    void enqueue(Duration delay, Task task, std::shared_ptr<WorkItem> item);

    mutable std::mutex mutex_;
    std::map<Key, Entry> tasks_;
    TimePoint now_{};
    std::uint64_t nextSequence_ = 0;
};

}  // namespace tavlo
