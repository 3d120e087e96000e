#include "app/desktop/PortalTriggers.h"

#include "app/core/TriggerRequest.h"
#include "platform/linux/portal/PreferredTrigger.h"

namespace tavlo {
namespace {

// The shortcut of the hold trigger, pressed and released.
constexpr std::string_view holdId = "hold";
// Return's stand-in: stops and delivers, whatever started the dictation. A
// shortcut cannot be bound only while listening without the desktop asking
// each time (binding may open its dialog), so it stays bound and does
// nothing unless a dictation listens, as the cancel shortcut.
constexpr std::string_view finishId = "finish";

// Keys for what has no stored key combination: a modifier alone (the
// function key's stand-in) cannot be bound through the portal, so these are
// combinations clear of the desktops' well-known ones. The desktop may offer
// others and lets the user change them.
std::vector<portal::PortalShortcut> wantedShortcuts(const PortalTriggers::StoredKeys& stored) {
    auto preferred = [](const std::optional<KeyShortcut>& shortcut, const char* fallback) {
        const auto trigger = shortcut ? portal::preferredTrigger(shortcut->keyCode, shortcut->modifiers) : std::nullopt;
        return trigger.value_or(fallback);
    };
    return {
        {std::string(holdId), "Hold to dictate", preferred(stored.hold, "CTRL+ALT+space")},
        {"toggle", "Start or stop dictating", preferred(stored.press, "CTRL+ALT+d")},
        {"cancel", "Cancel the dictation", "CTRL+ALT+x"},
        {std::string(finishId), "Stop dictating and paste", "CTRL+ALT+Return"},
        {"professional", "Rewrite the selection professionally", preferred(stored.styles.professional, "CTRL+ALT+1")},
        {"casual", "Rewrite the selection casually", preferred(stored.styles.casual, "CTRL+ALT+2")},
        {"list", "Rewrite the selection as a list", preferred(stored.styles.list, "CTRL+ALT+3")},
        {"clean", "Clean up the selection", preferred(stored.styles.clean, "CTRL+ALT+4")},
    };
}

}  // namespace

std::shared_ptr<PortalTriggers> PortalTriggers::create(std::shared_ptr<Notifications> notifications) {
    std::shared_ptr<PortalTriggers> triggers(new PortalTriggers(std::move(notifications)));
    std::weak_ptr<PortalTriggers> weak = triggers;
    portal::GlobalShortcutsHandlers handlers;
    handlers.shortcutChanged = [weak](const std::string& id, bool pressed) {
        auto self = weak.lock();
        auto controller = self ? self->controller_.lock() : nullptr;
        if (!controller) return;
        if (id == holdId) {
            controller->performTriggerAction(pressed ? TriggerAction::start : TriggerAction::stop);
            return;
        }
        if (id == finishId) {
            if (pressed && !controller->isShortcutCaptureActive()) controller->stopDictation();
            return;
        }
        // The other shortcuts act when pressed.
        if (const auto action = triggerActionNamed(id); action && pressed) controller->performTriggerAction(*action);
    };
    handlers.shortcutsBound = [weak](const std::vector<portal::BoundShortcut>& bound) {
        auto self = weak.lock();
        if (!self) return;
        std::string keys;
        std::vector<TriggerBinding> shown;
        for (const auto& shortcut : bound) {
            keys += (keys.empty() ? "" : ",") + shortcut.id + "=" + shortcut.triggerDescription;
            shown.push_back({self->descriptionOf(shortcut.id), shortcut.triggerDescription});
        }
        if (self->log_) self->log_("trigger portal bound " + keys);
        if (auto controller = self->controller_.lock()) controller->desktopShortcutsBound(std::move(shown));
        if (self->changed_) self->changed_();
    };
    handlers.failed = [weak](const std::string& problem) {
        auto self = weak.lock();
        if (!self) return;
        if (self->log_) self->log_("trigger portal failed: " + problem);
        if (auto controller = self->controller_.lock()) controller->desktopShortcutsFailed(problem);
        if (self->changed_) self->changed_();
        if (self->notifications_)
            self->notifications_->notify("Tavlo's shortcuts are not active",
                                         problem + ". Bind keys to the \"tavlo trigger\" commands in your desktop's "
                                                   "keyboard settings instead.");
    };
    triggers->portal_ = portal::GlobalShortcutsPortal::create(std::move(handlers));
    if (!triggers->portal_ || !triggers->portal_->available()) return nullptr;
    return triggers;
}

PortalTriggers::PortalTriggers(std::shared_ptr<Notifications> notifications)
    : notifications_(std::move(notifications)) {}

void PortalTriggers::start(std::weak_ptr<AppDelegate> controller, std::function<void(std::string_view)> log,
                           const StoredKeys& stored, std::function<void()> changed) {
    controller_ = std::move(controller);
    log_ = std::move(log);
    changed_ = std::move(changed);
    wanted_ = wantedShortcuts(stored);
    portal_->bind(wanted_);
}

std::string PortalTriggers::descriptionOf(const std::string& id) const {
    for (const auto& shortcut : wanted_)
        if (shortcut.id == id) return shortcut.description;
    return id;
}

}  // namespace tavlo
