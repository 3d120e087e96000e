#include "app/core/TriggerGuide.h"

#include "app/core/TriggerRequest.h"
#include "settings/ShortcutDisplay.h"

namespace tavlo {

std::string triggerSummary(const TriggerShortcut& hold, const TriggerShortcut& press,
                           const std::string& functionKeyName) {
    const std::string holdKeys = triggerDisplay(hold, functionKeyName);
    std::string line = "Hold " + holdKeys + " to dictate; ";
    if (press.isFunctionKey)
        line += "double-tap " + triggerDisplay(press, functionKeyName) + " for hands-free.";
    else
        line += "press " + triggerDisplay(press, functionKeyName) + " to start and stop hands-free.";
    return line;
}

std::vector<TriggerBinding> triggerCommandBindings() {
    auto command = [](TriggerAction action) { return "tavlo trigger " + std::string(commandWord(action)); };
    return {
        {"Hold to dictate", command(TriggerAction::start) + " on press, " + command(TriggerAction::stop) + " on release"},
        {"Start or stop dictating", command(TriggerAction::toggle)},
        {"Cancel the dictation", command(TriggerAction::cancel)},
        {"Rewrite professionally", command(TriggerAction::professional)},
        {"Rewrite casually", command(TriggerAction::casual)},
        {"Rewrite as a list", command(TriggerAction::list)},
        {"Clean up", command(TriggerAction::clean)},
    };
}

AlertRequest welcomeAlert(const std::string& triggerLine, const std::string& engineState, bool hasTray) {
    const std::string wayToHome =
        hasTray ? "open it from the tray icon or by running tavlo again."
                : "this desktop shows no tray icon, so right-click the bubble for Tavlo's menu, or use Home and Quit "
                  "in Tavlo's launcher (running tavlo again opens Home too).";
    return AlertRequest{
        "Welcome to Tavlo",
        triggerLine +
            "\nSpeak, then let go: the text is typed where your cursor is, in any application."
            "\nEscape cancels a dictation, Return stops it at once."
            "\n\nSettings, history and files to transcribe are in Home: " + wayToHome +
            "\n\n" + engineState,
        {"Got it", "Open Home"},
        false,
    };
}

}  // namespace tavlo
