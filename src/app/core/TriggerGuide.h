#pragma once
// What the program tells a user about the keys that start a dictation: one
// line for the tray and bubble tooltips and the Help window, and the short
// welcome shown on the very first start. The keys are named as they act on
// this desktop (the function key by the name of the key that stands in for it).
#include <string>
#include <vector>

#include "base/Records.h"
#include "hub/model/TriggerMechanism.h"
#include "platform/Alerts.h"

namespace tavlo {

// "Hold Right Ctrl to dictate; double-tap Right Ctrl for hands-free."
std::string triggerSummary(const TriggerShortcut& hold, const TriggerShortcut& press,
                           const std::string& functionKeyName);

// What to bind in a compositor: each action with its `tavlo trigger` command.
std::vector<TriggerBinding> triggerCommandBindings();

// The welcome's buttons, in order.
inline constexpr int welcomeGotIt = 0;
inline constexpr int welcomeOpenHome = 1;

// The first-start welcome: which key to hold, where the text lands, how to
// reach Home later (without a tray: through the bubble's menu and the
// launcher), and the speech engine's state (`engineState`, one line).
AlertRequest welcomeAlert(const std::string& triggerLine, const std::string& engineState, bool hasTray = true);

// Said once where the desktop shows no tray icon: where the menu went.
inline constexpr const char* noTrayNoticeSummary = "Tavlo has no tray icon on this desktop";
inline constexpr const char* noTrayNoticeBody =
    "Right-click the bubble for Tavlo's menu (Home, Hide Bubble, Check for Updates, Quit). "
    "Tavlo's launcher also offers Home and Quit.";

}  // namespace tavlo
