#include "app/core/StatusMenu.h"

#include <algorithm>

#include "app/core/CharacterCount.h"

namespace tavlo {
namespace {

constexpr std::size_t recentShown = 4;
constexpr std::size_t titleCharacters = 54;

StatusMenuItem item(std::string title, StatusMenuAction action) {
    StatusMenuItem entry;
    entry.title = std::move(title);
    entry.action = action;
    return entry;
}
StatusMenuItem separator() { return {}; }
StatusMenuItem disabled(std::string title) {
    StatusMenuItem entry = item(std::move(title), StatusMenuAction::none);
    entry.enabled = false;
    return entry;
}

}  // namespace

std::vector<StatusMenuItem> statusMenuItems(bool bubbleVisible, const std::vector<RecentDictation>& recent,
                                            bool listening) {
    std::vector<StatusMenuItem> items;
    if (listening) {
        items.push_back(item("Stop and Paste", StatusMenuAction::stopDictation));
        items.push_back(item("Cancel Dictation", StatusMenuAction::cancelDictation));
        items.push_back(separator());
    }
    for (StatusMenuItem entry : {item("Home", StatusMenuAction::openHub),
                                 item(bubbleVisible ? "Hide Bubble" : "Show Bubble", StatusMenuAction::toggleBubble),
                                 item("Check for Updates…", StatusMenuAction::checkForUpdates), separator()})
        items.push_back(std::move(entry));
    if (recent.empty()) {
        items.push_back(disabled("No recent dictations"));
    } else {
        items.push_back(disabled("Recent"));
        for (std::size_t i = 0; i < std::min(recent.size(), recentShown); ++i) {
            const std::string& text = recent[i].text;
            std::string title = characterCount(text) <= titleCharacters
                                    ? text
                                    : leadingCharacters(text, titleCharacters) + "...";
            StatusMenuItem entry = item(std::move(title), StatusMenuAction::pasteRecent);
            entry.representedText = text;
            items.push_back(std::move(entry));
        }
    }
    items.push_back(separator());
    items.push_back(item("Help", StatusMenuAction::help));
    items.push_back(item("Send Feedback…", StatusMenuAction::sendFeedback));
    items.push_back(separator());
    StatusMenuItem quit = item("Quit Tavlo", StatusMenuAction::quit);
    quit.keyEquivalent = "q";
    items.push_back(std::move(quit));
    return items;
}

}  // namespace tavlo
