#pragma once
// How the dictation triggers and the rewrite shortcuts reach the program on
// this desktop, for Home to show. On X11 the program grabs the stored keys
// itself. A Wayland client cannot watch the keyboard: where the desktop has
// the GlobalShortcuts portal, the desktop binds keys for it (and may let the
// user change them in its own settings); elsewhere the user binds keys in the
// compositor to the `tavlo trigger ...` commands.
#include <string>
#include <vector>

namespace tavlo {

struct TriggerBinding {
    std::string description;  // "Hold to dictate"
    std::string keys;         // "Ctrl+Alt+Space", or the command to bind
    bool operator==(const TriggerBinding&) const = default;
};

struct TriggerMechanism {
    enum class Kind { keyGrabs, desktopShortcuts, compositorCommands };
    Kind kind = Kind::keyGrabs;
    // Desktop shortcuts: the keys the desktop bound (empty until it
    // answered). Compositor commands: the command for each action.
    std::vector<TriggerBinding> bindings;
    // Why the desktop's shortcuts are not in use (declined, refused); the
    // commands are then the way, and `kind` says so.
    std::string problem;

    // A modifier held alone (or the function key) can be a trigger only
    // where the program watches the keys itself: a portal and a compositor
    // binding need a key with it.
    bool bindsModifiersAlone() const { return kind == Kind::keyGrabs; }
    bool operator==(const TriggerMechanism&) const = default;
};

}  // namespace tavlo
