#include "platform/linux/qt/QtMainQueue.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace tavlo {

QtMainQueue::QtMainQueue() : context_(std::make_unique<QObject>()) {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0)
        throw std::runtime_error(std::string("Cannot create the main queue's wake-up: ") + std::strerror(errno));
    auto* notifier = new QSocketNotifier(wakeFd_, QSocketNotifier::Read, context_.get());
    QObject::connect(notifier, &QSocketNotifier::activated, context_.get(), [this] {
        std::uint64_t count = 0;
        while (read(wakeFd_, &count, sizeof count) < 0 && errno == EINTR) {
        }
        runPosted();
    });
}

QtMainQueue::~QtMainQueue() {
    context_.reset();  // the notifier and all timers go with it
    close(wakeFd_);
}

bool QtMainQueue::onLoopThread() const { return std::this_thread::get_id() == loopThread_; }

void QtMainQueue::post(Task task) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(task));
        wake = !wakeScheduled_;
        wakeScheduled_ = true;
    }
    // One wake-up per batch: it runs everything posted until it runs.
    if (wake) {
        const std::uint64_t one = 1;
        while (write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
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
