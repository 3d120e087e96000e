#pragma once
// A main queue in real time for tests and benchmarks that run real child
// processes and real HTTP: any thread may post, and the test's own thread
// runs the tasks while it waits for an outcome.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/MainQueue.h"

namespace tavlo::testing {

class PumpedMainQueue final : public MainQueue {
public:
    void post(Task task) override {
        {
            std::lock_guard lock(mutex_);
            ready_.push_back(std::move(task));
        }
        wake_.notify_all();
    }

    std::shared_ptr<WorkItem> postAfter(Duration delay, Task task) override {
        auto item = std::make_shared<WorkItem>();
        {
            std::lock_guard lock(mutex_);
            timed_.emplace(Clock::now() + delay, Timed{std::move(task), item});
        }
        wake_.notify_all();
        return item;
    }

    TimePoint now() const override { return Clock::now(); }

    // Runs tasks on this thread until `done()` holds or `limit` has passed
    // (a guard against a hang, not a speed check). Returns done(). `done`
    // is called with the queue locked, so it must not post.
    bool runUntil(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(90)) {
        const auto deadline = Clock::now() + limit;
        std::unique_lock lock(mutex_);
        while (!done()) {
            const auto now = Clock::now();
            if (now >= deadline) return false;
            while (!timed_.empty() && timed_.begin()->first <= now) {
                auto node = timed_.extract(timed_.begin());
                if (!node.mapped().item->isCancelled()) ready_.push_back(std::move(node.mapped().task));
            }
            if (!ready_.empty()) {
                Task task = std::move(ready_.front());
                ready_.pop_front();
                lock.unlock();
                task();
                task = nullptr;
                lock.lock();
                continue;
            }
            auto until = deadline;
            if (!timed_.empty() && timed_.begin()->first < until) until = timed_.begin()->first;
            wake_.wait_until(lock, until);
        }
        return true;
    }

private:
    struct Timed {
        Task task;
        std::shared_ptr<WorkItem> item;
    };
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> ready_;
    std::multimap<TimePoint, Timed> timed_;
};

}  // namespace tavlo::testing
