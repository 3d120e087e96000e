#pragma once
// The Shortcuts section: the five action shortcuts with their keys, a Record
// (or Cancel) and a Reset button each, the fixed-keys note and the host's
// registration status.
#include <optional>
#include <string>
#include <vector>

#include "hub/model/HubContext.h"
#include "hub/model/KeyCapture.h"

namespace tavlo {

class ShortcutsViewModel {
public:
    ShortcutsViewModel(HubContext& context, KeyCapture& capture) : context_(context), capture_(capture) {}
    ShortcutsViewModel(const ShortcutsViewModel&) = delete;
    ShortcutsViewModel& operator=(const ShortcutsViewModel&) = delete;

    // "Ctrl+Alt+Space" from a stored shortcut's key code and modifier mask
    // (its stored display text is not used).
    static std::string shortcutText(const KeyShortcut& shortcut);

    // The keys that are not recorded here: Return and Escape while recording,
    // the two triggers by the keys that act here, and the mouse trigger.
    std::string fixedKeysNote() const;
    // The section's subtitle, naming the hold trigger by the key that acts here.
    std::string subtitle() const;

    struct Row {
        ShortcutAction action;
        int tag;                    // the action's index: both buttons' tag
        std::string title;          // "Hands-free toggle", ...
        std::string shortcutText;   // "Press new shortcut…" while recording it
        bool isCapturing;           // draw the shortcut text in the accent colour
        std::string recordButtonTitle;  // "Record" / "Cancel"
        std::string resetButtonTitle;   // "Reset"
    };
    // One row per action, in the actions' order.
    std::vector<Row> rows() const;

    enum class StatusTone { muted, red };
    struct StatusLine {
        std::string text;
        StatusTone tone;
    };
    // The host's status ("All shortcuts registered" without a host); red when
    // some shortcut could not be registered.
    StatusLine statusLine() const;

    // How the triggers reach the program on this desktop: a heading naming
    // the way in use, then the keys the desktop bound or the commands to
    // bind in the compositor (none for X11 key grabs). Red when the
    // desktop's shortcuts were refused.
    struct MechanismLine {
        std::string title;
        std::string keys;
        bool operator==(const MechanismLine&) const = default;
    };
    struct Mechanism {
        std::string heading;
        std::vector<MechanismLine> lines;
        StatusTone tone;
    };
    Mechanism triggerMechanism() const;

    // "Record" starts recording the row's action; "Cancel" (same button while
    // recording it) ends the capture. Tags outside the actions are ignored.
    void recordShortcut(int tag);
    // Ends any capture, then stores the action's default and reloads the
    // host's hot keys.
    void resetShortcut(int tag);

private:
    HubContext& context_;
    KeyCapture& capture_;
};

}  // namespace tavlo
