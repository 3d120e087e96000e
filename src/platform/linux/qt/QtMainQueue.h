#pragma once
// The main queue on Qt's event loop. Create and destroy it on the thread that
// runs the loop, once the QCoreApplication exists; post from any thread.
// Tasks still waiting when it is destroyed never run.
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/MainQueue.h"

class QObject;

namespace tavlo {

class QtMainQueue final : public MainQueue {
public:
    QtMainQueue();
    ~QtMainQueue() override;
    QtMainQueue(const QtMainQueue&) = delete;
    QtMainQueue& operator=(const QtMainQueue&) = delete;

    void post(Task task) override;
    std::shared_ptr<WorkItem> postAfter(Duration delay, Task task) override;
    TimePoint now() const override;

private:
    bool onLoopThread() const;
    void runPosted();
    void startTimer(Duration delay, std::shared_ptr<WorkItem> item, Task task);

    // Receiver of the loop's events; deleting it drops whatever is pending.
    std::unique_ptr<QObject> context_;
    const std::thread::id loopThread_ = std::this_thread::get_id();

    // Tasks cross threads only through this queue, guarded by the mutex; the
    // loop is woken through an eventfd, so no object made on a worker thread
    // is handed through Qt's internals (whose locking the race checker
    // cannot see).
    int wakeFd_ = -1;
    std::mutex mutex_;
    std::deque<Task> posted_;
    bool wakeScheduled_ = false;
};

}  // namespace tavlo
