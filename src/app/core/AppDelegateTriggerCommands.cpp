// The trigger commands: keys the user binds in the compositor run
// `tavlo trigger ...`, and the request reaches the controller here. They act
// exactly as the keys the program watches itself where it can: a press and a
// release of the hold trigger (so a double tap latches as with the key), the
// press trigger, Escape and the rewrite shortcuts.
#include <string>

#include "app/core/AppDelegate.h"

namespace tavlo {
namespace {

const char* flag(bool value) { return value ? "true" : "false"; }

}  // namespace

void AppDelegate::performTriggerAction(TriggerAction action) {
    logDiagnostic("trigger command=" + std::string(commandWord(action)) + " listening=" + flag(isListening_) +
                  " processing=" + flag(isProcessingDictation_) +
                  " capturing=" + flag(isShortcutCaptureActive_));
    if (isShortcutCaptureActive_) return;
    if (const auto style = rewriteStyle(action)) {
        repolishSelection(*style);
        return;
    }
    switch (action) {
        case TriggerAction::start: handleHoldTriggerChange(true); break;
        case TriggerAction::stop: handleHoldTriggerChange(false); break;
        case TriggerAction::toggle: toggleDictation(); break;
        case TriggerAction::cancel:
            // Escape is only a shortcut while listening; elsewhere it is the
            // user's own key, and so is this command.
            if (isListening_) cancelDictation();
            break;
        default: break;
    }
}

}  // namespace tavlo
