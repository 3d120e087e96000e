#pragma once
// Commands that wait for network replies or child processes run the same main
// queue as the desktop program: a Qt event loop on this thread. The command
// starts its work from `begin` and calls `finished` once when its outcome has
// been handled; the loop then ends.
#include <functional>
#include <memory>

#include "platform/MainQueue.h"

namespace tavlo::cli {

using Finished = std::function<void()>;

// Runs the loop until `finished` is called. `begin` runs on the loop's thread
// as the loop's first task.
void runCommandEventLoop(const std::function<void(std::shared_ptr<MainQueue> mainQueue, Finished finished)>& begin);

}  // namespace tavlo::cli
