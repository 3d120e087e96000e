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
    std::string errorMessage;  // the message the user was shown
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
