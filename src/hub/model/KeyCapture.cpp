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
        pendingTrigger_ = TriggerShortcut::key(
            KeyShortcut::make(event.keyCode, modifiers, shortcutDisplay(event.keyCode, event.modifierFlags)));
        break;
    case HubKeyEvent::Type::other: return false;
    }
    context_.feedback().hapticTick();
    context_.render(HubSection::home);
    return true;
}

void KeyCapture::beginTriggerCapture(TriggerRole role) {
    triggerRole_ = role;
    pendingTrigger_.reset();
    action_.reset();
    setCaptureActive(true);
    context_.render(HubSection::home);
}

void KeyCapture::beginActionCapture(ShortcutAction action) {
    action_ = action;
    triggerRole_.reset();
    pendingTrigger_.reset();
    setCaptureActive(true);
    context_.render(HubSection::shortcuts);
}

void KeyCapture::cancel() {
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

void KeyCapture::setCaptureActive(bool active) {
    if (const auto host = context_.host()) host->setShortcutCaptureActive(active);
}

}  // namespace tavlo
