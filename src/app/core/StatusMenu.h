#pragma once
// The tray menu's items, rebuilt each time the menu opens: what the view
// draws and what a chosen item asks the controller to do.
#include <optional>
#include <string>
#include <vector>

#include "base/Records.h"

namespace tavlo {

enum class StatusMenuAction {
    none,
    stopDictation,
    cancelDictation,
    openHub,
    toggleBubble,
    checkForUpdates,
    pasteRecent,
    help,
    sendFeedback,
    quit
};

struct StatusMenuItem {
    std::string title;  // empty for a separator
    StatusMenuAction action = StatusMenuAction::none;
    bool enabled = true;
    std::string representedText;  // the full text of a recent dictation
    std::string keyEquivalent;    // "q" for Quit only

    bool isSeparator() const { return title.empty(); }
    bool operator==(const StatusMenuItem&) const = default;
};

// The items for the current settings: the four newest dictations, each cut to
// 54 characters (counted as the user sees them) followed by "...". While
// listening, Stop and Cancel come first: on Wayland the program cannot watch
// Return and Escape, and the menu is a way to reach them everywhere.
std::vector<StatusMenuItem> statusMenuItems(bool bubbleVisible, const std::vector<RecentDictation>& recent,
                                            bool listening = false);

}  // namespace tavlo
