#include "shortcuts/HotKeyManager.h"

#include <utility>

namespace tavlo {

std::shared_ptr<HotKeyManager> HotKeyManager::create(std::shared_ptr<HotKeyService> service,
                                                     std::shared_ptr<MainQueue> mainQueue) {
    return std::shared_ptr<HotKeyManager>(new HotKeyManager(std::move(service), std::move(mainQueue)));
}

HotKeyManager::HotKeyManager(std::shared_ptr<HotKeyService> service, std::shared_ptr<MainQueue> mainQueue)
    : service_(std::move(service)), mainQueue_(std::move(mainQueue)) {}

void HotKeyManager::install(const ShortcutSettings& shortcuts, const TriggerShortcut& pressTrigger) {
    uninstallHotKeys();
    registrationFailures_.clear();
    ensurePressHandler();
    if (auto key = pressTrigger.keyShortcut()) registerPermanent(*key, pressTriggerId, "Press trigger");
    registerPermanent(KeyShortcut::make(mouseTriggerKeyCode, 0, "F13"), mouseTriggerId, "Mouse trigger");
    registerPermanent(shortcuts.professional, professionalId, "Professional rewrite");
    registerPermanent(shortcuts.casual, casualId, "Casual rewrite");
    registerPermanent(shortcuts.list, listId, "List rewrite");
    registerPermanent(shortcuts.clean, cleanId, "Clean rewrite");
}

void HotKeyManager::ensurePressHandler() {
    if (handlerInstalled_) return;
    // Installed once and kept; it holds the manager weakly.
    service_->setPressHandler([weak = weak_from_this()](std::uint32_t id) {
        if (auto self = weak.lock()) self->handlePress(id);
    });
    handlerInstalled_ = true;
}

void HotKeyManager::registerPermanent(const KeyShortcut& shortcut, Id id, const char* label) {
    if (auto registration = service_->registerHotKey(shortcut.keyCode, shortcut.modifiers, id))
        hotKeyRefs_.push_back(*registration);
    else
        registrationFailures_.push_back(std::string(label) + " could not register. Choose a different shortcut.");
}

void HotKeyManager::uninstallHotKeys() {
    for (auto registration : hotKeyRefs_) service_->unregisterHotKey(registration);
    hotKeyRefs_.clear();
}

void HotKeyManager::installRecordingHotKeys(std::uint32_t triggerModifiers) {
    uninstallRecordingHotKeys();
    ensurePressHandler();
    // Only the four modifiers a stored mask knows; at most sixteen sets.
    triggerModifiers &= CarbonModifier::command | CarbonModifier::shift | CarbonModifier::option |
                        CarbonModifier::control;
    // Every subset of the trigger's modifiers, none first: a trigger of two
    // modifiers may be half let go when the key comes.
    std::vector<std::uint32_t> modifierSets;
    for (std::uint32_t subset = triggerModifiers;; subset = (subset - 1) & triggerModifiers) {
        modifierSets.insert(modifierSets.begin(), subset);
        if (subset == 0) break;
    }
    // Failures are silent: the key monitors see Escape and Return anyway.
    for (auto [keyCode, id] : {std::pair{escapeKeyCode, escapeId}, std::pair{returnKeyCode, returnId},
                               std::pair{keypadEnterKeyCode, keypadEnterId}})
        for (const std::uint32_t modifiers : modifierSets)
            if (auto registration = service_->registerHotKey(keyCode, modifiers, id))
                recordingHotKeyRefs_.push_back(*registration);
}

void HotKeyManager::uninstallRecordingHotKeys() {
    for (auto registration : recordingHotKeyRefs_) service_->unregisterHotKey(registration);
    recordingHotKeyRefs_.clear();
}

void HotKeyManager::handlePress(std::uint32_t id) {
    if (id < pressTriggerId || id > keypadEnterId) return;
    // The delegate is resolved when the call runs, and may be gone by then.
    mainQueue_->post([weak = delegate, id] {
        auto delegate = weak.lock();
        if (!delegate) return;
        switch (id) {
            case pressTriggerId: delegate->hotKeyManagerDidPressToggle(); break;
            case mouseTriggerId: delegate->hotKeyManagerDidPressMouseTrigger(); break;
            case professionalId: delegate->hotKeyManagerDidPressRepolish(TransformStyle::professional); break;
            case casualId: delegate->hotKeyManagerDidPressRepolish(TransformStyle::casual); break;
            case listId: delegate->hotKeyManagerDidPressRepolish(TransformStyle::list); break;
            case cleanId: delegate->hotKeyManagerDidPressRepolish(TransformStyle::clean); break;
            case escapeId: delegate->hotKeyManagerDidPressEscape(); break;
            case returnId:
            case keypadEnterId: delegate->hotKeyManagerDidPressReturn(); break;
        }
    });
}

}  // namespace tavlo
