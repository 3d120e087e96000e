#include "app/cli/CommandEventLoop.h"

#include <QCoreApplication>

#include "platform/linux/QtMainQueue.h"

namespace tavlo::cli {

void runCommandEventLoop(const std::function<void(std::shared_ptr<MainQueue> mainQueue, Finished finished)>& begin) {
    // Qt keeps pointers to argc and argv for the application's lifetime.
    static int argc = 1;
    static char name[] = "tavlo";
    static char* argv[] = {name, nullptr};
    // One application object per process: a second command in the same process
    // (the tests run several) reuses the first.
    std::unique_ptr<QCoreApplication> ownedApplication;
    if (QCoreApplication::instance() == nullptr) ownedApplication = std::make_unique<QCoreApplication>(argc, argv);

    auto queue = std::make_shared<QtMainQueue>();
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
