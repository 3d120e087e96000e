#include "platform/linux/QtMainQueue.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QTimer>

namespace tavlo {

QtMainQueue::QtMainQueue() : context_(std::make_unique<QObject>()) {}

QtMainQueue::~QtMainQueue() = default;

bool QtMainQueue::onLoopThread() const { return QThread::currentThread() == context_->thread(); }

void QtMainQueue::post(Task task) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(task));
        wake = !wakeScheduled_;
        wakeScheduled_ = true;
    }
    // One wake-up per batch: it runs everything posted until it runs.
    if (wake) QMetaObject::invokeMethod(context_.get(), [this] { runPosted(); }, Qt::QueuedConnection);
}

void QtMainQueue::runPosted() {
    std::deque<Task> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(posted_);
        wakeScheduled_ = false;
    }
    for (Task& task : batch) {
        task();
        task = nullptr;  // release what it holds before the next one runs
    }
}

std::shared_ptr<WorkItem> QtMainQueue::postAfter(Duration delay, Task task) {
    auto item = std::make_shared<WorkItem>();
    if (onLoopThread()) {
        startTimer(delay, item, std::move(task));
    } else {
        // Timers belong to the loop's thread: start it there.
        post([this, delay, item, task = std::move(task)]() mutable {
            startTimer(delay, std::move(item), std::move(task));
        });
    }
    return item;
}

void QtMainQueue::startTimer(Duration delay, std::shared_ptr<WorkItem> item, Task task) {
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(std::max(delay, Duration::zero()));
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, context_.get(),
                       [item = std::move(item), task = std::move(task)] {
                           if (!item->isCancelled()) task();
                       });
}

MainQueue::TimePoint QtMainQueue::now() const { return Clock::now(); }

}  // namespace tavlo
