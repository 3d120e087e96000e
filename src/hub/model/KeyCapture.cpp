#include "hub/model/KeyCapture.h"

namespace tavlo {

std::optional<TriggerRole> triggerRoleForTag(int tag) {
    if (tag == static_cast<int>(TriggerRole::hold)) return TriggerRole::hold;
    if (tag == static_cast<int>(TriggerRole::press)) return TriggerRole::press;
    return std::nullopt;
}

bool KeyCapture::handle(const HubKeyEvent& event) {
    const bool keyEvent =
        event.type == HubKeyEvent::Type::keyDown || event.type == HubKeyEvent::Type::modifiersChanged;
    if (keyEvent && event.keyCode == escapeKeyCode) {
        cancel();
        return true;
    }
    if (triggerRole_) return handleTriggerKey(event);
    return handleActionKey(event);
}

bool KeyCapture::handleActionKey(const HubKeyEvent& event) {
    if (!action_ || event.type != HubKeyEvent::Type::keyDown) return false;
    const std::uint32_t modifiers = carbonModifiers(event.modifierFlags);
    if (modifiers == 0) {
        // A shortcut without a modifier would swallow ordinary typing.
        context_.feedback().beep();
        return true;
    }
    // Two actions on the same keys would leave one of them dead: refused,
    // and the capture goes on for other keys.
    conflict_ = conflictFor(event.keyCode, modifiers, *action_);
    if (!conflict_.empty()) {
        context_.feedback().beep();
        context_.render(HubSection::shortcuts);
        return true;
    }
    context_.store().setShortcut(
        KeyShortcut::make(event.keyCode, modifiers, shortcutDisplay(event.keyCode, event.modifierFlags)), *action_);
    action_.reset();
    setCaptureActive(false);
    context_.render(HubSection::shortcuts);
    return true;
}

bool KeyCapture::handleTriggerKey(const HubKeyEvent& event) {
    const std::uint32_t modifiers = carbonModifiers(event.modifierFlags);
    switch (event.type) {
    case HubKeyEvent::Type::modifiersChanged:
        if (!modifiersAloneBindable()) {
            // The desktop binds only a key with modifiers: what is held is
            // named, with what to add, and nothing is pending yet.
            const bool function = event.modifierFlags & functionKeyFlag;
            if (!function && modifiers == 0) return false;
            const auto host = context_.host();
            const std::string held =
                function ? (host ? host->functionKeyName() : "Fn") : modifierMaskDisplay(modifiers);
            conflict_ = held + " alone cannot be a trigger on this desktop: hold it and press another key.";
            context_.render(HubSection::home);
            return true;
        }
        if (event.modifierFlags & functionKeyFlag) {
            // Fn wins over any other modifier held with it.
            pendingTrigger_ = TriggerShortcut::function();
        } else if (modifiers == 0) {
            // Letting go of everything keeps what was recorded last.
            return false;
        } else {
            pendingTrigger_ = TriggerShortcut::modifierOnly(modifiers, modifierMaskDisplay(modifiers));
        }
        break;
    case HubKeyEvent::Type::keyDown:
        if (modifiers == 0) {
            context_.feedback().beep();
            return true;
        }
        conflict_ = conflictFor(event.keyCode, modifiers, std::nullopt);
        if (!conflict_.empty()) {
            context_.feedback().beep();
            context_.render(HubSection::home);
            return true;
        }
        pendingTrigger_ = TriggerShortcut::key(
            KeyShortcut::make(event.keyCode, modifiers, shortcutDisplay(event.keyCode, event.modifierFlags)));
        break;
    case HubKeyEvent::Type::other: return false;
    }
    context_.feedback().hapticTick();
    context_.render(HubSection::home);
    return true;
}

std::string KeyCapture::conflictFor(std::uint32_t keyCode, std::uint32_t modifiers,
                                    std::optional<ShortcutAction> action) const {
    const std::string keys = storedShortcutDisplay(keyCode, modifiers);
    const ShortcutSettings stored = context_.store().shortcuts();
    for (const ShortcutAction other : allCases<ShortcutAction>()) {
        if (other == action) continue;
        const KeyShortcut& used = stored.shortcut(other);
        if (used.keyCode == keyCode && used.modifiers == modifiers)
            return keys + " is already the " + std::string(title(other)) + " shortcut. Choose other keys.";
    }
    if (action) {
        for (const TriggerShortcut& trigger : {context_.store().holdTrigger(), context_.store().pressTrigger()})
            if (const auto key = trigger.keyShortcut(); key && key->keyCode == keyCode && key->modifiers == modifiers)
                return keys + " is already a dictation trigger. Choose other keys.";
    }
    return {};
}

void KeyCapture::beginTriggerCapture(TriggerRole role) {
    conflict_.clear();
    triggerRole_ = role;
    pendingTrigger_.reset();
    action_.reset();
    setCaptureActive(true);
    context_.render(HubSection::home);
}

void KeyCapture::beginActionCapture(ShortcutAction action) {
    conflict_.clear();
    action_ = action;
    triggerRole_.reset();
    pendingTrigger_.reset();
    setCaptureActive(true);
    context_.render(HubSection::shortcuts);
}

void KeyCapture::cancel() {
    conflict_.clear();
    if (!isActive()) return;
    action_.reset();
    triggerRole_.reset();
    pendingTrigger_.reset();
    setCaptureActive(false);
    context_.render(context_.selectedSection());
}

void KeyCapture::finishTriggerCapture() {
    triggerRole_.reset();
    pendingTrigger_.reset();
    setCaptureActive(false);
}

bool KeyCapture::modifiersAloneBindable() const {
    const auto host = context_.host();
    return !host || host->triggerMechanism().bindsModifiersAlone();
}

void KeyCapture::setCaptureActive(bool active) {
    if (const auto host = context_.host()) host->setShortcutCaptureActive(active);
}

}  // namespace tavlo
