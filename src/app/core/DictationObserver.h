#pragma once
// What a caller that runs a dictation hears about it: when listening begins,
// the live text, and exactly one end per dictation. The desktop program
// follows the bubble instead; commands follow this.
#include <functional>
#include <string>

#include "app/core/PasteOutcome.h"

namespace tavlo {

struct DictationEnd {
    enum class Kind {
        delivered,         // the text went to the clipboard or to delivery
        nothingDelivered,  // nothing was heard, or the text was a spoken cancel
        cancelled,         // the user cancelled while it ran
        failed,            // refused or failed; `errorMessage` says why
    };
    Kind kind = Kind::nothingDelivered;
    std::string text;          // the delivered text
    // The message the user was shown: why it failed, or, beside a delivered
    // text, what went wrong while listening (the microphone went away).
    std::string errorMessage;
    // For a failure: the on-device preview, kept in the history instead of
    // being delivered.
    std::string keptPreview;
};

struct DictationObserver {
    std::function<void()> listeningStarted;
    // The live text, progress messages left out.
    std::function<void(const std::string& text)> partialTranscriptChanged;
    std::function<void(const DictationEnd& end)> dictationEnded;
    // How delivery into the target application ended, after `dictationEnded`
    // (only when the text was handed to delivery).
    std::function<void(PasteOutcome outcome)> pasteFinished;
};

}  // namespace tavlo
