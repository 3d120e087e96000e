// Output delivery: the finished text onto the clipboard and into the
// application it is for, with a check through accessibility that it arrived.
#include <chrono>

#include "app/core/AppDelegate.h"
#include "app/core/CharacterCount.h"
#include "app/core/Utf16Range.h"
#include "engine/support/TextTrimming.h"

namespace tavlo {
namespace {

using namespace std::chrono_literals;

constexpr MainQueue::Duration activationCheckInterval = 80ms;
constexpr int activationAttempts = 7;
constexpr MainQueue::Duration verificationDelay = 380ms;
constexpr MainQueue::Duration returnKeyDelay = 220ms;
constexpr MainQueue::Duration failureStateDuration = 1800ms;
// Another process's delivery is waited for this often, and at most this many
// times (a delivery takes about a second; one that hangs must not keep the
// text from the user for good, so after that it goes ahead regardless).
constexpr MainQueue::Duration deliveryTurnInterval = 50ms;
constexpr int deliveryTurnWaits = 200;

const char* flag(bool value) { return value ? "true" : "false"; }

std::string nameOf(const std::optional<RunningApplication>& app, const char* fallback) {
    return app && app->localizedName ? *app->localizedName : fallback;
}

// The field holds the text: either exactly the old value with the selection
// replaced by it, or (when the application edited around it) at least the text.
bool valueHoldsText(const std::string& current, const FocusedTextSnapshot& snapshot, const std::string& text) {
    if (current == snapshot.value) return false;
    if (snapshot.selectedRange)
        if (auto expected = replacingUtf16Range(snapshot.value, *snapshot.selectedRange, text); expected && current == *expected)
            return true;
    return current.find(text) != std::string::npos;
}

}  // namespace

// --- Accessibility helpers -----------------------------------------------------

std::optional<std::string> AppDelegate::focusedTextValue(const AccessibilityElement& element) const {
    return element.value();
}

std::optional<TextRange> AppDelegate::selectedTextRange(const AccessibilityElement& element) const {
    return element.selectedTextRange();
}

bool AppDelegate::insertText(const std::string& text, const FocusedTextSnapshot& snapshot) {
    if (!snapshot.element) return false;
    AccessibilityElement& element = *snapshot.element;
    const std::string current = focusedTextValue(element).value_or(snapshot.value);
    std::optional<TextRange> selection = selectedTextRange(element);
    if (!selection) selection = snapshot.selectedRange;
    const TextRange range = selection.value_or(TextRange{utf16Length(current), 0});
    const std::optional<std::string> replaced = replacingUtf16Range(current, range, text);
    if (!replaced) return false;
    // A write that timed out may still land: read back before calling it a
    // failure, so the caller's fallback never puts the text in a second time.
    if (!element.setValue(*replaced) && focusedTextValue(element) != replaced) return false;
    element.setSelectedTextRange({range.location + utf16Length(text), 0});
    return true;
}

// --- Delivery ------------------------------------------------------------------

void AppDelegate::pasteOrCopy(const std::string& text, bool shouldPressEnter,
                              std::optional<FocusedTextSnapshot> preferredSnapshot, PasteCompletion completion) {
    // Whatever goes in now is not the dictation that was remembered.
    lastDeliveredDictation_.reset();
    pasteOrCopyInTurn(text, shouldPressEnter, std::move(preferredSnapshot), std::move(completion), deliveryTurnWaits);
}

void AppDelegate::pasteOrCopyInTurn(const std::string& text, bool shouldPressEnter,
                                    std::optional<FocusedTextSnapshot> preferredSnapshot, PasteCompletion completion,
                                    int waitsLeft) {
    // Two processes delivering at once would swap each other's text on the
    // shared clipboard between copy and keystroke: one paste would carry the
    // other's text and its own would never arrive.
    if (deliveryLock && deliveriesUnderway_ == 0 && !deliveryLock->tryAcquire()) {
        if (waitsLeft == deliveryTurnWaits) logDiagnostic("paste waiting for another delivery to end");
        if (waitsLeft > 0) {
            mainQueue->postAfter(deliveryTurnInterval, [weak = weak_from_this(), text, shouldPressEnter,
                                                        snapshot = std::move(preferredSnapshot),
                                                        completion = std::move(completion), waitsLeft]() mutable {
                if (auto self = weak.lock())
                    self->pasteOrCopyInTurn(text, shouldPressEnter, std::move(snapshot), std::move(completion),
                                            waitsLeft - 1);
            });
            return;
        }
        logDiagnostic("paste another delivery still runs; going ahead");
    }
    ++deliveriesUnderway_;
    deliverWithTurn(text, shouldPressEnter, std::move(preferredSnapshot),
                    [weak = weak_from_this(), completion = std::move(completion)](PasteOutcome outcome) {
                        if (auto self = weak.lock())
                            if (--self->deliveriesUnderway_ == 0 && self->deliveryLock) self->deliveryLock->release();
                        if (completion) completion(outcome);
                    });
}

bool AppDelegate::clipboardStillHolds(const std::string& text, std::int64_t clipboardChange) const {
    // Unchanged since it was put there, or changed to the same text (a
    // clipboard manager taking over what it was offered).
    return pasteboard->changeCount() == clipboardChange || pasteboard->string() == text;
}

void AppDelegate::deliverWithTurn(const std::string& text, bool shouldPressEnter,
                                  std::optional<FocusedTextSnapshot> preferredSnapshot, PasteCompletion completion) {
    // The text stays on the clipboard whatever happens next.
    pasteboard->clearContents();
    pasteboard->setString(text);
    const std::int64_t clipboardChange = pasteboard->changeCount();

    std::optional<RunningApplication> target;
    if (workspace) {
        const RunningApplication self = workspace->currentApplication();
        auto usable = [&](const std::optional<RunningApplication>& app) {
            return app && !workspace->isTerminated(*app) && app->processIdentifier != self.processIdentifier &&
                   app->bundleIdentifier != self.bundleIdentifier;
        };
        std::optional<RunningApplication> frontmost = workspace->frontmostApplication();
        if (frontmost && !isExternalApplication(*frontmost)) frontmost.reset();
        for (const auto* candidate : {&frontmost, &targetApplication, &lastExternalApplication_})
            if (usable(*candidate)) {
                target = *candidate;
                break;
            }
    }
    if (!target) {
        targetApplication.reset();
        logDiagnostic("paste no-target chars=" + std::to_string(characterCount(text)));
        applyPasteOutcomeState(PasteOutcome::noTarget);
        completion(PasteOutcome::noTarget);
        return;
    }

    targetApplication = target;
    const std::string name = nameOf(target, "the target app");
    const bool trusted = accessibility && accessibility->isProcessTrusted();
    logDiagnostic("paste start target=" + name + " bundle=" + target->bundleIdentifier.value_or("unknown") +
                  " pid=" + std::to_string(target->processIdentifier) +
                  " chars=" + std::to_string(characterCount(text)) + " axTrusted=" + flag(trusted) +
                  " frontmost=" + nameOf(workspace->frontmostApplication(), "none"));

    // A snapshot of another application's field would check the wrong field.
    if (preferredSnapshot) {
        const auto pid = preferredSnapshot->element ? preferredSnapshot->element->processIdentifier() : std::nullopt;
        const auto owner = pid && *pid > 0 ? workspace->runningApplication(*pid) : std::nullopt;
        if (!owner || owner->processIdentifier != target->processIdentifier) preferredSnapshot.reset();
    }

    activateTarget(*target, activationAttempts,
                   [weak = weak_from_this(), text, target = *target, snapshot = std::move(preferredSnapshot),
                    clipboardChange, shouldPressEnter, name, completion = std::move(completion)] {
                       auto self = weak.lock();
                       if (!self) return;
                       self->deliverPaste(text, target, snapshot, clipboardChange,
                                          [weak, name, target, shouldPressEnter, completion](PasteOutcome outcome) {
                                              if (auto self = weak.lock())
                                                  self->finishPaste(outcome, name, target, shouldPressEnter,
                                                                    completion);
                                          });
                   });
}

void AppDelegate::activateTarget(const RunningApplication& target, int attempts, std::function<void()> completion) {
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    if (workspace->isTerminated(target)) {
        mainQueue->postAfter(activationCheckInterval, [weak, completion = std::move(completion)] {
            if (weak.lock()) completion();
        });
        return;
    }
    workspace->activate(target);
    mainQueue->postAfter(activationCheckInterval, [weak, target, attempts, completion = std::move(completion)] {
        if (auto self = weak.lock()) self->checkActivation(target, attempts, completion);
    });
}

void AppDelegate::checkActivation(const RunningApplication& target, int remaining, std::function<void()> completion) {
    const auto frontmost = workspace->frontmostApplication();
    const bool matched = frontmost && frontmost->processIdentifier == target.processIdentifier;
    if (matched || remaining < 1) {
        logDiagnostic("paste activation target=" + nameOf(target, "unknown") + " matched=" + flag(matched) +
                      " remaining=" + std::to_string(remaining) + " frontmost=" + nameOf(frontmost, "none"));
        completion();
        return;
    }
    // Window managers may refuse or delay a request; asking again helps.
    workspace->activate(target);
    mainQueue->postAfter(activationCheckInterval, [weak = weak_from_this(), target, remaining,
                                                   completion = std::move(completion)] {
        if (auto self = weak.lock()) self->checkActivation(target, remaining - 1, completion);
    });
}

void AppDelegate::deliverPaste(const std::string& text, const RunningApplication& target,
                               std::optional<FocusedTextSnapshot> preferredSnapshot, std::int64_t clipboardChange,
                               PasteCompletion completion) {
    const bool trusted = accessibility && accessibility->isProcessTrusted();
    bool canPost = keyEventPoster && keyEventPoster->isPostingPermitted();
    if (!canPost && keyEventPoster && !hasRequestedPostEventThisSession) {
        hasRequestedPostEventThisSession = true;
        canPost = keyEventPoster->requestPostingPermission();
    }
    if (!trusted) {
        requestAccessibilityPromptIfNeeded();
        logDiagnostic("paste axTrusted=false; attempting keyboard fallback anyway");
    }
    const auto frontmost = workspace->frontmostApplication();
    const bool canInspect = frontmost && frontmost->processIdentifier == target.processIdentifier;
    const bool hadPreferredSnapshot = preferredSnapshot.has_value();
    std::optional<FocusedTextSnapshot> snapshot = std::move(preferredSnapshot);
    if (!snapshot && trusted && canInspect) snapshot = focusedTextSnapshot();
    logDiagnostic(std::string("paste deliver axTrusted=") + flag(trusted) + " postEvent=" + flag(canPost) +
                  " canInspect=" + flag(canInspect) + " startSnapshot=" + flag(hadPreferredSnapshot) +
                  " snapshot=" + flag(snapshot.has_value()));

    auto afterKeystroke = [weak = weak_from_this(), text, target, snapshot, trusted, canPost, clipboardChange,
                           completion = std::move(completion)](bool shortcutSent) {
        auto self = weak.lock();
        if (!self) return;
        self->logDiagnostic(std::string("paste shortcutSent=") + flag(shortcutSent) +
                            " pid=" + std::to_string(target.processIdentifier));
        // Without a keystroke there is nothing to wait for: the field is
        // written at once (on Wayland this is the usual way).
        const auto delay = shortcutSent ? verificationDelay : MainQueue::Duration::zero();
        self->mainQueue->postAfter(delay, [weak, text, target, snapshot, trusted, canPost, shortcutSent,
                                           clipboardChange, completion] {
            auto self = weak.lock();
            if (!self) return;
            // Checked once the application has had the time to ask for the
            // clipboard: until then another client taking it over would
            // have its text pasted in place of ours.
            const bool held = !shortcutSent || self->clipboardStillHolds(text, clipboardChange);
            self->verifyPaste(text, target, snapshot, trusted, canPost, shortcutSent, held, completion);
        });
    };
    if (!canPost) {
        afterKeystroke(false);
        return;
    }
    workspace->activate(target);
    keyEventPoster->postPaste(target, std::move(afterKeystroke));
}

void AppDelegate::verifyPaste(const std::string& text, const RunningApplication& /*target*/,
                              const std::optional<FocusedTextSnapshot>& snapshot, bool trusted, bool canPost,
                              bool shortcutSent, bool clipboardHeldText, const PasteCompletion& completion) {
    auto holdsText = [&] {
        const auto current = snapshot->element ? focusedTextValue(*snapshot->element) : std::nullopt;
        return current && valueHoldsText(*current, *snapshot, text);
    };
    if (snapshot && holdsText()) return completion(PasteOutcome::keyboardConfirmed);
    if (shortcutSent && !clipboardHeldText) {
        // The keystroke pasted whatever the clipboard held then: not our
        // text, so it is not reported as sent.
        logDiagnostic("paste clipboardReplaced=true");
        return completion(PasteOutcome::clipboardOnly);
    }
    if (shortcutSent) return completion(trusted ? PasteOutcome::keyboardSent : PasteOutcome::accessibilityRequired);
    if (snapshot && insertText(text, *snapshot)) {
        if (holdsText()) {
            logDiagnostic("paste directInsert=verified");
            return completion(PasteOutcome::accessibilityInserted);
        }
        logDiagnostic("paste directInsert=unverified");
        return completion(PasteOutcome::clipboardOnly);
    }
    // Without any way to type here (no key event poster on this desktop)
    // there is no permission to ask for: the clipboard is all there is.
    completion(canPost || !keyEventPoster ? PasteOutcome::clipboardOnly : PasteOutcome::inputControlRequired);
}

void AppDelegate::finishPaste(PasteOutcome outcome, const std::string& name, const RunningApplication& target,
                              bool shouldPressEnter, const PasteCompletion& completion) {
    logDiagnostic("paste outcome=" + std::string(tavlo::name(outcome)) + " target=" + name +
                  " pid=" + std::to_string(target.processIdentifier));
    applyPasteOutcomeState(outcome);
    if (shouldPressEnter)
        mainQueue->postAfter(returnKeyDelay, [weak = weak_from_this(), target] {
            if (auto self = weak.lock()) self->pressReturnIfTargetInFront(target);
        });
    if (completion) completion(outcome);
}

void AppDelegate::pressReturnIfTargetInFront(const RunningApplication& target) {
    // Return goes to whatever has the keyboard focus, so it is pressed only
    // while the target still has it: an Enter in another window could send
    // a message or run a command the user never meant.
    const auto frontmost = workspace->frontmostApplication();
    if (!frontmost || frontmost->processIdentifier != target.processIdentifier) {
        logDiagnostic("paste enter skipped target=" + nameOf(target, "the target app") +
                      " frontmost=" + nameOf(frontmost, "none"));
        return;
    }
    if (!keyEventPoster) return;
    keyEventPoster->postReturn([weak = weak_from_this()](bool sent) {
        if (auto self = weak.lock()) self->logDiagnostic(std::string("paste enter sent=") + flag(sent));
    });
}

void AppDelegate::applyPasteOutcomeState(PasteOutcome outcome) {
    if (isSuccess(outcome)) {
        showSuccessTick();
        return;
    }
    setBubbleState(BubbleState::error);
    mainQueue->postAfter(failureStateDuration, [weak = weak_from_this()] {
        auto self = weak.lock();
        if (self && self->bubbleState_ == BubbleState::error) self->setBubbleState(BubbleState::idle);
    });
}

// --- The hub's buttons -----------------------------------------------------------

void AppDelegate::copyTextFromHub(const std::string& text) {
    const std::string trimmed = trimWhitespaceAndLineBreaks(text);
    if (trimmed.empty()) return;
    pasteboard->clearContents();
    pasteboard->setString(trimmed);
    showSuccessTick();
}

void AppDelegate::pasteTextFromHub(const std::string& text) {
    const std::string trimmed = trimWhitespaceAndLineBreaks(text);
    if (trimmed.empty()) return;
    const auto frontmost = workspace ? workspace->frontmostApplication() : std::nullopt;
    targetApplication = frontmost && isExternalApplication(*frontmost) ? frontmost : lastExternalApplication_;
    pasteOrCopy(trimmed, false, std::nullopt);
}

}  // namespace tavlo
