#pragma once
// The main queue on Qt's event loop. Create and destroy it on the thread that
// runs the loop, once the QCoreApplication exists; post from any thread.
// Tasks still waiting when it is destroyed never run.
#include <deque>
#include <memory>
#include <mutex>

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

    // Tasks cross threads through this queue, so the hand-over is ordered and
    // visible to the tools that check for data races; the loop is only woken.
    std::mutex mutex_;
    std::deque<Task> posted_;
    bool wakeScheduled_ = false;
};

}  // namespace tavlo
