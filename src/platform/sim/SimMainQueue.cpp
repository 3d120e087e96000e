#include "platform/sim/SimMainQueue.h"

#include <algorithm>

namespace tavlo {

void SimMainQueue::post(Task task) { enqueue(Duration::zero(), std::move(task), nullptr); }

std::shared_ptr<WorkItem> SimMainQueue::postAfter(Duration delay, Task task) {
    auto item = std::make_shared<WorkItem>();
    enqueue(delay, std::move(task), item);
    return item;
}

MainQueue::TimePoint SimMainQueue::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

std::size_t SimMainQueue::pendingTaskCount() const {
    std::lock_guard lock(mutex_);
    return tasks_.size();
}

void SimMainQueue::enqueue(Duration delay, Task task, std::shared_ptr<WorkItem> item) {
    std::lock_guard lock(mutex_);
    const Key key{now_ + std::max(delay, Duration::zero()), nextSequence_++};
    tasks_.emplace(key, Entry{std::move(task), std::move(item)});
}

std::size_t SimMainQueue::advanceBy(Duration duration) {
    std::unique_lock lock(mutex_);
    const TimePoint end = now_ + std::max(duration, Duration::zero());
    std::size_t ran = 0;
    while (!tasks_.empty() && tasks_.begin()->first.first <= end) {
        auto next = tasks_.begin();
        now_ = std::max(now_, next->first.first);
        Entry entry = std::move(next->second);
        tasks_.erase(next);
        lock.unlock();
        if (!entry.item || !entry.item->isCancelled()) {
            entry.task();
            ++ran;
        }
        entry = {};  // release what the task holds before the next one runs
        lock.lock();
    }
    now_ = end;
    return ran;
}

}  // namespace tavlo
