#pragma once
// How a delivery into another application ended.
#include <string_view>

namespace tavlo {

enum class PasteOutcome {
    // The field changed to hold the text after the paste keystroke.
    keyboardConfirmed,
    // No keystroke went out; the text was written into the field through
    // accessibility and read back.
    accessibilityInserted,
    // The keystroke went out but the field could not be checked; trusted.
    keyboardSent,
    // The text is only on the clipboard.
    clipboardOnly,
    // The keystroke went out, but without accessibility nothing can be checked.
    accessibilityRequired,
    // Neither a keystroke nor a direct write was possible.
    inputControlRequired,
    // No application could take the text.
    noTarget,
};

constexpr std::string_view name(PasteOutcome outcome) {
    switch (outcome) {
        case PasteOutcome::keyboardConfirmed: return "keyboardConfirmed";
        case PasteOutcome::accessibilityInserted: return "accessibilityInserted";
        case PasteOutcome::keyboardSent: return "keyboardSent";
        case PasteOutcome::clipboardOnly: return "clipboardOnly";
        case PasteOutcome::accessibilityRequired: return "accessibilityRequired";
        case PasteOutcome::inputControlRequired: return "inputControlRequired";
        case PasteOutcome::noTarget: return "noTarget";
    }
    return "unknown";
}

constexpr bool isSuccess(PasteOutcome outcome) {
    return outcome == PasteOutcome::keyboardConfirmed || outcome == PasteOutcome::accessibilityInserted ||
           outcome == PasteOutcome::keyboardSent;
}

}  // namespace tavlo
