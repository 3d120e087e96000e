// The hold trigger (Fn, a key or modifiers alone): hold to talk, release to
// stop a moment later, press again quickly to keep listening hands-free.
#include <chrono>

#include "app/core/AppDelegate.h"

namespace tavlo {
namespace {

using namespace std::chrono_literals;

// A release is not final at once: a second press within this time latches
// the session instead (a double tap).
constexpr MainQueue::Duration releaseStopDelay = 340ms;
constexpr MainQueue::Duration doubleTapWindow = 400ms;

}  // namespace

void AppDelegate::handleHoldTriggerChange(bool isDown) {
    holdTriggerHeld_ = isDown;
    if (isDown) {
        if (functionReleaseStopWorkItem) functionReleaseStopWorkItem->cancel();
        functionReleaseStopWorkItem.reset();
        pendingFunctionReleaseStop = false;
        if (functionKeyLatched && isListening_) {
            ignoreNextFunctionRelease = true;
            stopDictation();
            return;
        }
        if (isListening_) {
            if (lastFunctionReleaseDate && mainQueue->now() - *lastFunctionReleaseDate < doubleTapWindow) {
                functionKeyLatched = true;
                setBubbleState(BubbleState::listening);
            }
            return;
        }
        if (!isProcessingDictation_) startDictation();
        return;
    }

    lastFunctionReleaseDate = mainQueue->now();
    if (ignoreNextFunctionRelease) {
        ignoreNextFunctionRelease = false;
        return;
    }
    if (functionKeyLatched) return;
    if (isListening_)
        scheduleFunctionReleaseStop(releaseStopDelay);
    else if (isProcessingDictation_)
        pendingFunctionReleaseStop = true;
}

void AppDelegate::scheduleFunctionReleaseStop(MainQueue::Duration delay) {
    if (functionReleaseStopWorkItem) functionReleaseStopWorkItem->cancel();
    functionReleaseStopWorkItem = mainQueue->postAfter(delay, [weak = weak_from_this()] {
        auto self = weak.lock();
        if (self && !self->functionKeyIsDown && self->isListening_) self->stopDictation();
    });
}

}  // namespace tavlo
