#pragma once
// The triggers and rewrite shortcuts as the desktop's own global shortcuts
// (the GlobalShortcuts portal), where a Wayland desktop offers them: a press
// of the hold shortcut acts as `tavlo trigger start` and its release as
// `tavlo trigger stop`, so hold, press and the double-tap latch follow the
// same rules as the commands; the press shortcut toggles, and each rewrite
// style has its own. A refusal leaves the program running with the
// commands, and says so.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/AppDelegate.h"
#include "base/Records.h"
#include "platform/linux/portal/GlobalShortcutsPortal.h"

namespace tavlo {

class PortalTriggers {
public:
    // Null when the desktop has no GlobalShortcuts portal.
    static std::shared_ptr<PortalTriggers> create(std::shared_ptr<Notifications> notifications);

    // The user's stored keys, offered to the desktop first; absent ones (the
    // function key, a modifier alone) get keys the common desktops leave free.
    struct StoredKeys {
        std::optional<KeyShortcut> hold;
        std::optional<KeyShortcut> press;
        ShortcutSettings styles;
    };

    // Binds the shortcuts, acting on `controller` from then on; `changed`
    // runs whenever the keys bound (or a refusal) reach the controller.
    void start(std::weak_ptr<AppDelegate> controller, std::function<void(std::string_view)> log,
               const StoredKeys& stored, std::function<void()> changed = {});

private:
    explicit PortalTriggers(std::shared_ptr<Notifications> notifications);

    std::shared_ptr<Notifications> notifications_;
    std::shared_ptr<portal::GlobalShortcutsPortal> portal_;
    std::weak_ptr<AppDelegate> controller_;
    std::function<void(std::string_view)> log_;
    std::function<void()> changed_;
    std::vector<portal::PortalShortcut> wanted_;

    // The description a shortcut was bound with, for Home.
    std::string descriptionOf(const std::string& id) const;
};

}  // namespace tavlo
