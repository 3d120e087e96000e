// The session state every concern of the controller shares: the error and
// success indications, the bubble state and the live partial text.
#include <array>
#include <chrono>
#include <string_view>

#include "app/core/AppDelegate.h"
#include "engine/support/TextTrimming.h"

namespace tavlo {
namespace {

using namespace std::chrono_literals;

// Long enough to notice the error and point at the bubble for its message.
constexpr MainQueue::Duration errorStateDuration = 4s;
constexpr MainQueue::Duration successStateDuration = 850ms;

// Progress texts the engine reports through the partial-text channel; they
// must never become dictated text.
constexpr std::array<std::string_view, 4> engineStatusMessages = {
    "Transcribing with OpenAI...",
    "Transcribing file with OpenAI...",
    "Transcribing file locally with Whisper...",
    "Finalising locally with Whisper...",
};

}  // namespace

void AppDelegate::endCurrentSession() {
    isListening_ = false;
    isProcessingDictation_ = false;
    hasCompletedCurrentDictation_ = true;
    activeDictationSession = 0;
    endSessionInput();
    targetTextSnapshot.reset();
    currentPartialTranscript_.clear();
    inputLost_ = false;
    cancelDictationCompletionWatchdog();
}

void AppDelegate::presentError(const std::string& message) {
    endCurrentSession();
    showErrorState(message);
}

void AppDelegate::showErrorState(const std::string& message) {
    logDiagnostic("present error=" + message);
    setBubbleState(BubbleState::error);
    // The message stays readable under the pointer while the error shows.
    if (bubbleWindow) bubbleWindow->setToolTip("Tavlo: " + message);
    if (statusItem) statusItem->showToolTip("Tavlo: " + message);
    // Not withdrawn by later states: it checks the bubble instead, so a new
    // session that started meanwhile keeps its own state.
    mainQueue->postAfter(errorStateDuration, [weak = weak_from_this()] {
        auto self = weak.lock();
        if (self && self->bubbleState_ == BubbleState::error) self->setBubbleState(BubbleState::idle);
    });
}

void AppDelegate::setBubbleState(BubbleState state) {
    const bool leavingError = bubbleState_ == BubbleState::error && state != BubbleState::error;
    bubbleState_ = state;
    if (bubbleWindow) {
        // A latched session, or one no held key started (the press trigger,
        // a click, a command), goes on after any key is let go.
        bubbleWindow->setHandsFree(state == BubbleState::listening && (functionKeyLatched || !holdTriggerHeld_));
        bubbleWindow->setState(state);
    }
    // The tooltips name the keys again once an error's message is gone.
    if (leavingError) updateTriggerToolTips();
    if (statusItem) statusItem->showStatusImage(state);
}

void AppDelegate::showSuccessTick() {
    if (successResetWorkItem) successResetWorkItem->cancel();
    setBubbleState(BubbleState::success);
    successResetWorkItem = mainQueue->postAfter(successStateDuration, [weak = weak_from_this()] {
        auto self = weak.lock();
        if (self && self->bubbleState_ == BubbleState::success) self->setBubbleState(BubbleState::idle);
    });
}

void AppDelegate::updatePartialTranscript(const std::string& text) {
    const std::string trimmed = trimWhitespaceAndLineBreaks(text);
    for (std::string_view status : engineStatusMessages)
        if (trimmed == status) return;
    currentPartialTranscript_ = text;
}

void AppDelegate::endSessionInput() {
    if (hotKeys) hotKeys->uninstallRecordingHotKeys();
    functionKeyLatched = false;
    ignoreNextFunctionRelease = false;
    pendingFunctionReleaseStop = false;
}

void AppDelegate::cancelDictationCompletionWatchdog() {
    if (dictationCompletionWatchdog) dictationCompletionWatchdog->cancel();
    dictationCompletionWatchdog.reset();
}

}  // namespace tavlo
