#include "app/cli/CommandEventLoop.h"

#include <memory>
#include <vector>

#include <QCoreApplication>

#include "platform/linux/qt/QtMainQueue.h"

namespace tavlo::cli {
namespace {

// The application object and every queue live until the process ends: a
// worker thread (a child-process waiter, an HTTP reply) may still hold a queue
// after the command has finished, and its last reference must never destroy
// Qt objects from that thread. The pointers stay reachable, so leak checkers
// do not count them.
std::vector<std::shared_ptr<MainQueue>>& keptQueues() {
    static auto* queues = new std::vector<std::shared_ptr<MainQueue>>();
    return *queues;
}

void ensureApplication() {
    if (QCoreApplication::instance() != nullptr) return;
    // Qt keeps pointers to argc and argv for the application's lifetime.
    static int argc = 1;
    static char name[] = "tavlo";
    static char* argv[] = {name, nullptr};
    static auto* application = new QCoreApplication(argc, argv);
    (void)application;
}

}  // namespace

void runCommandEventLoop(const std::function<void(std::shared_ptr<MainQueue> mainQueue, Finished finished)>& begin) {
    ensureApplication();
    auto queue = std::make_shared<QtMainQueue>();
    keptQueues().push_back(queue);

    auto done = std::make_shared<bool>(false);
    queue->post([&begin, done, queue] {
        begin(queue, [done, queue] {
            if (*done) return;
            *done = true;
            // Leave the loop after the current task, so replies already queued
            // behind it cannot run against a finished command.
            queue->post([] { QCoreApplication::exit(0); });
        });
    });
    while (!*done) QCoreApplication::exec();
}

}  // namespace tavlo::cli
