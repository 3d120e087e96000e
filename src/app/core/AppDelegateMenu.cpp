// The tray menu: the focused field and target application are captured when
// it opens (while the other application still has the focus), the items are
// rebuilt each time, and a chosen item acts.
#include <cctype>

#include "app/core/AppDelegate.h"
#include "app/core/StatusMenu.h"
#include "settings/ShortcutDisplay.h"

namespace tavlo {
namespace {

const char* flag(bool value) { return value ? "true" : "false"; }

// A link the mail program opens with the subject filled in.
constexpr const char* feedbackAddress = "feedback@tavlo.app";

std::string percentEncodedQuery(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : text) {
        const bool allowed = std::isalnum(c) || std::string_view("-._~!$&'()*+,;=:@/?").find(static_cast<char>(c)) !=
                                                     std::string_view::npos;
        if (allowed) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 15];
        }
    }
    return encoded;
}

}  // namespace

void AppDelegate::captureMenuTarget() {
    menuOpenTextSnapshot = focusedTextSnapshot();
    menuOpenTargetApplication = preferredDictationTarget(menuOpenTextSnapshot);
}

void AppDelegate::menuWillOpen() {
    captureMenuTarget();
    const auto frontmost = workspace ? workspace->frontmostApplication() : std::nullopt;
    logDiagnostic("menu open target=" +
                  (menuOpenTargetApplication ? menuOpenTargetApplication->localizedName.value_or("none") : "none") +
                  " snapshot=" + flag(menuOpenTextSnapshot.has_value()) +
                  " frontmost=" + (frontmost ? frontmost->localizedName.value_or("none") : "none"));
}

std::vector<StatusMenuItem> AppDelegate::menuNeedsUpdate() {
    if (!menuOpenTextSnapshot && !menuOpenTargetApplication) captureMenuTarget();
    return statusMenuItems(store.bubbleVisible(), store.recent(), isListening_);
}

void AppDelegate::menuDidClose() {
    menuOpenTextSnapshot.reset();
    menuOpenTargetApplication.reset();
}

void AppDelegate::performMenuAction(const StatusMenuItem& item) {
    switch (item.action) {
        // Both do nothing once the dictation has ended meanwhile.
        case StatusMenuAction::stopDictation: stopDictation(); break;
        case StatusMenuAction::cancelDictation:
            if (isListening_) cancelDictation();
            break;
        case StatusMenuAction::openHub: menuOpenHub(); break;
        case StatusMenuAction::toggleBubble: setBubbleVisible(!store.bubbleVisible()); break;
        case StatusMenuAction::checkForUpdates: checkForUpdates(); break;
        case StatusMenuAction::pasteRecent: menuPasteRecent(item.representedText); break;
        case StatusMenuAction::help: menuHelp(); break;
        case StatusMenuAction::sendFeedback: menuSendFeedback(); break;
        case StatusMenuAction::quit:
            if (desktop) desktop->terminate();
            break;
        case StatusMenuAction::none: break;
    }
}

void AppDelegate::menuOpenHub() {
    if (openHub)
        openHub();
    else
        logDiagnostic("home window not available in this build");
}

void AppDelegate::menuPasteRecent(const std::string& text) {
    if (text.empty()) return;
    // The application captured when the menu opened gets the text.
    targetApplication = menuOpenTargetApplication ? menuOpenTargetApplication
                                                  : preferredDictationTarget(menuOpenTextSnapshot);
    pasteOrCopy(text, false, menuOpenTextSnapshot);
}

void AppDelegate::menuHelp() {
    if (!alerts) return;
    const std::string fn = functionKeyName();
    alerts->present({"Tavlo triggers",
                     "Hold trigger (" + triggerDisplay(store.holdTrigger(), fn) +
                         "): record while held, release to paste\nPress trigger (" +
                         pressTriggerDisplay(store.pressTrigger(), fn) +
                         "): press once to start, press again to stop\nEscape: cancel\nReturn: stop and paste",
                     {"OK"}},
                    nullptr);
}

void AppDelegate::menuSendFeedback() {
    if (!desktop) return;
    if (desktop->openURL(std::string("mailto:") + feedbackAddress + "?subject=" + percentEncodedQuery("Tavlo feedback")))
        return;
    // No mail program to hand the message to: the address is shown instead,
    // so the menu item never does nothing.
    if (alerts)
        alerts->present({"No mail program opened",
                         std::string("Write to ") + feedbackAddress + " with your feedback.", {"OK"}, true, true},
                        nullptr);
}

}  // namespace tavlo
