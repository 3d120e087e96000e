// Output delivery: the finished text into the application it is for.
#include "app/core/AppDelegate.h"

namespace tavlo {

void AppDelegate::pasteOrCopy(const std::string& text, bool /*shouldPressEnter*/,
                              std::optional<FocusedTextSnapshot> /*preferredSnapshot*/) {
    // Pasting into another application needs synthesised keys and the
    // accessibility bus, which this build does not drive yet. Until it does,
    // the text goes where every delivery starts: onto the clipboard, with the
    // same indication as auto-paste off.
    pasteboard->clearContents();
    pasteboard->setString(text);
    showSuccessTick();
}

}  // namespace tavlo
