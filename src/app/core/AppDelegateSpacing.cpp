// The space between consecutive dictations pasted into the same field. Added
// only when the caret is known to sit right after the previous dictation:
// the field's text before the caret shows it where accessibility can read
// the field; elsewhere the program remembers what it pasted, and where, and
// forgets it as soon as anything may have moved the caret (a key typed, or
// another application activated), or after a while.
#include <chrono>

#include "app/core/AppDelegate.h"
#include "app/core/DictationSpacing.h"

namespace tavlo {
namespace {

using namespace std::chrono_literals;

// Without a readable field, a click may have moved the caret unseen; the
// longer ago the previous dictation, the likelier that is.
constexpr MainQueue::Duration rememberedDictationLifetime = 2min;

// Keys that change no text and move no caret when pressed on their own.
bool isModifierKey(std::uint32_t keyCode) { return keyCode >= 54 && keyCode <= 63; }

constexpr std::uint32_t escapeKey = 53, returnKey = 36, keypadEnterKey = 76;

}  // namespace

std::string AppDelegate::separatedFromPreviousDictation(const std::string& text,
                                                        const std::optional<FocusedTextSnapshot>& snapshot) const {
    if (!lastDeliveredDictation_) return text;
    const DeliveredDictation& previous = *lastDeliveredDictation_;
    const bool readableField = snapshot && snapshot->element;
    const auto fieldOwner = readableField ? snapshot->element->processIdentifier() : std::nullopt;
    if (readableField && fieldOwner) {
        if (*fieldOwner != previous.processIdentifier) return text;
        // The field as it is now, not as it was when the dictation began.
        const std::string value = snapshot->element->value().value_or(snapshot->value);
        const auto selection = snapshot->element->selectedTextRange();
        const auto caret = selection ? selection : snapshot->selectedRange;
        const auto before = caret ? textBeforeCaret(value, *caret) : std::nullopt;
        if (before) {
            // Right after the previous dictation, or somewhere else.
            if (!before->ends_with(previous.text) || !needsSpaceBetween(*before, text)) return text;
            return " " + text;
        }
    }
    if (previous.caretMayHaveMoved || mainQueue->now() - previous.time > rememberedDictationLifetime) return text;
    if (!targetApplication || targetApplication->processIdentifier != previous.processIdentifier) return text;
    return needsSpaceBetween(previous.text, text) ? " " + text : text;
}

void AppDelegate::rememberDeliveredDictation(const std::string& text, bool endedLine, PasteOutcome outcome) {
    lastDeliveredDictation_.reset();
    // A Return after it starts a new line: the next text needs no space.
    const bool pasted = isSuccess(outcome) || outcome == PasteOutcome::accessibilityRequired;
    if (!pasted || endedLine || !targetApplication) return;
    // Unseen keys could move the caret: only a running key monitor may vouch
    // for a field that cannot be read.
    lastDeliveredDictation_ =
        DeliveredDictation{targetApplication->processIdentifier, text, mainQueue->now(), !keyMonitorRunning_};
}

void AppDelegate::noteKeyForDictationSpacing(std::uint32_t keyCode, bool isDown) {
    if (!isDown || !lastDeliveredDictation_ || isModifierKey(keyCode)) return;
    // The paste keystroke of a delivery, and the triggers, type nothing.
    if (deliveriesUnderway_ > 0) return;
    for (const TriggerShortcut& trigger : {store.holdTrigger(), store.pressTrigger()})
        if (!trigger.isFunctionKey && trigger.keyCode == keyCode) return;
    // Taken from the application while a dictation listens.
    if (isListening_ && (keyCode == escapeKey || keyCode == returnKey || keyCode == keypadEnterKey)) return;
    lastDeliveredDictation_->caretMayHaveMoved = true;
}

}  // namespace tavlo
