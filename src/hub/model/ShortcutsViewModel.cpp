#include "hub/model/ShortcutsViewModel.h"

#include <limits>
#include <string>

#include "settings/ShortcutDisplay.h"

namespace tavlo {
namespace {

std::optional<ShortcutAction> actionForTag(int tag) {
    const auto actions = allCases<ShortcutAction>();
    if (tag < 0 || tag >= static_cast<int>(actions.size())) return std::nullopt;
    return actions[static_cast<std::size_t>(tag)];
}

}  // namespace

std::string ShortcutsViewModel::shortcutText(const KeyShortcut& shortcut) {
    return storedShortcutDisplay(shortcut.keyCode, shortcut.modifiers);
}

std::string ShortcutsViewModel::fixedKeysNote() const {
    const auto host = context_.host();
    if (host && !host->triggerMechanism().bindsModifiersAlone())
        return "This desktop does not let Tavlo watch Return and Escape: while listening, Stop and Paste and "
               "Cancel Dictation in the tray menu (or the commands below) take their place.";
    const std::string functionKey = host ? host->functionKeyName() : "Fn";
    std::string press = pressTriggerDisplay(context_.store().pressTrigger(), functionKey);
    if (press.starts_with("Double-tap")) press[0] = 'd';
    return "Fixed while recording: Return commits, Escape cancels. " +
           triggerDisplay(context_.store().holdTrigger(), functionKey) + " hold is push-to-talk; " + press +
           " latches dictation. Mouse trigger: F13.";
}

std::string ShortcutsViewModel::subtitle() const {
    const auto host = context_.host();
    return "Record your own key combos. " +
           triggerDisplay(context_.store().holdTrigger(), host ? host->functionKeyName() : "Fn") +
           " remains the push-to-talk key.";
}

std::vector<ShortcutsViewModel::Row> ShortcutsViewModel::rows() const {
    const ShortcutSettings stored = context_.store().shortcuts();
    std::vector<Row> rows;
    int tag = 0;
    for (const ShortcutAction action : allCases<ShortcutAction>()) {
        const bool capturing = capture_.capturedAction() == action;
        rows.push_back(Row{action, tag++, std::string(title(action)),
                           capturing ? "Press new shortcut…" : shortcutText(stored.shortcut(action)), capturing,
                           capturing ? "Cancel" : "Record", "Reset"});
    }
    return rows;
}

ShortcutsViewModel::StatusLine ShortcutsViewModel::statusLine() const {
    if (!capture_.conflict().empty()) return {capture_.conflict(), StatusTone::red};
    const auto host = context_.host();
    std::string text = host ? host->shortcutStatusText() : "All shortcuts registered";
    const StatusTone tone =
        text.find("could not register") != std::string::npos ? StatusTone::red : StatusTone::muted;
    return {std::move(text), tone};
}

ShortcutsViewModel::Mechanism ShortcutsViewModel::triggerMechanism() const {
    const auto host = context_.host();
    const TriggerMechanism mechanism = host ? host->triggerMechanism() : TriggerMechanism{};
    Mechanism shown{{}, {}, StatusTone::muted};
    for (const TriggerBinding& binding : mechanism.bindings) shown.lines.push_back({binding.description, binding.keys});
    switch (mechanism.kind) {
    case TriggerMechanism::Kind::keyGrabs:
        shown.heading = "Active: X11 key grabs. Tavlo watches the keys above itself, in every application.";
        break;
    case TriggerMechanism::Kind::desktopShortcuts:
        shown.heading = shown.lines.empty()
                            ? "Active: the desktop's global shortcuts. Waiting for the desktop to bind the keys…"
                            : "Active: the desktop's global shortcuts. The keys it bound (change them in the "
                              "desktop's keyboard settings):";
        break;
    case TriggerMechanism::Kind::compositorCommands:
        if (mechanism.problem.empty()) {
            shown.heading = "Active: bind keys in your compositor. This desktop lets no program watch the "
                            "keyboard: in its keyboard settings, bind keys to these commands:";
        } else {
            shown.heading = "The desktop's global shortcuts are not active (" + mechanism.problem +
                            "). Bind keys in your desktop's keyboard settings to these commands instead:";
            shown.tone = StatusTone::red;
        }
        break;
    }
    return shown;
}

void ShortcutsViewModel::recordShortcut(int tag) {
    const auto action = actionForTag(tag);
    if (!action) return;
    if (capture_.capturedAction() == action)
        capture_.cancel();
    else
        capture_.beginActionCapture(*action);
}

void ShortcutsViewModel::resetShortcut(int tag) {
    capture_.cancel();
    const auto action = actionForTag(tag);
    if (!action) return;
    context_.store().setShortcut(ShortcutSettings::defaults().shortcut(*action), *action);
    if (const auto host = context_.host()) host->reloadHotKeys();
    context_.render(HubSection::shortcuts);
}

}  // namespace tavlo
