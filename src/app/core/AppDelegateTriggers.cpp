// Turning key activity anywhere on the desktop into dictation requests: the
// hold and press triggers (the function key, a key with modifiers, or
// modifiers alone), the global shortcuts, and the pause of all of them while
// the hub records a new shortcut. The same key change may arrive from more
// than one source; every handler compares with the state it stored and does
// nothing on a repeat.
#include <string>

#include "app/core/AppDelegate.h"
#include "app/core/TriggerGuide.h"

namespace tavlo {
namespace {

const char* flag(bool value) { return value ? "true" : "false"; }

bool isKeyTrigger(const TriggerShortcut& trigger) { return !trigger.isFunctionKey && trigger.keyCode.has_value(); }

}  // namespace

void AppDelegate::installTriggerMonitors() {
    bool installed = false;
    if (keyEventSource) {
        std::weak_ptr<AppDelegate> weak = weak_from_this();
        installed = keyEventSource->start({
            [weak](std::uint32_t keyCode, std::uint32_t modifiers, bool isDown) {
                if (auto self = weak.lock()) self->handleTriggerKeyEvent(keyCode, modifiers, isDown);
            },
            [weak](bool isDown) {
                if (auto self = weak.lock()) self->handleFunctionFlagChange(isDown);
            },
            [weak](std::uint32_t modifiers) {
                if (auto self = weak.lock()) self->handleModifierOnlyTriggerChange(modifiers);
            },
        });
    }
    keyMonitorRunning_ = installed;
    logDiagnostic(std::string("function monitor installed eventTap=") + flag(installed));
}

void AppDelegate::handleTriggerKeyEvent(std::uint32_t keyCode, std::uint32_t modifiers, bool isDown) {
    noteKeyForDictationSpacing(keyCode, isDown);
    if (isShortcutCaptureActive_) return;
    const TriggerShortcut hold = store.holdTrigger();
    if (!isKeyTrigger(hold) || *hold.keyCode != keyCode) return;
    // While held, the key alone decides: a release after the modifiers were
    // let go still ends the hold, and auto-repeat is absorbed.
    const bool belongs = hold.modifiers == modifiers || holdTriggerKeyIsDown;
    if (!belongs || holdTriggerKeyIsDown == isDown) return;
    holdTriggerKeyIsDown = isDown;
    handleHoldTriggerChange(isDown);
}

std::uint32_t AppDelegate::holdTriggerModifiers() const {
    const TriggerShortcut hold = store.holdTrigger();
    if (!hold.isFunctionKey) return hold.modifiers;
    return keyEventSource ? keyEventSource->functionKeyModifiers() : 0;
}

void AppDelegate::handleFunctionFlagChange(bool isDown) {
    if (functionKeyIsDown == isDown) return;
    functionKeyIsDown = isDown;
    if (isShortcutCaptureActive_) return;
    logDiagnostic(std::string("fn ") + (isDown ? "down" : "up") + " listening=" + flag(isListening_) +
                  " processing=" + flag(isProcessingDictation_) + " latched=" + flag(functionKeyLatched));
    if (store.holdTrigger().isFunctionKey) {
        handleHoldTriggerChange(isDown);
    } else if (store.pressTrigger().isFunctionKey && isDown) {
        if (isListening_)
            stopDictation();
        else if (!isProcessingDictation_)
            startDictation();
    }
}

void AppDelegate::handleModifierOnlyTriggerChange(std::uint32_t modifiers) {
    if (isShortcutCaptureActive_) return;
    const TriggerShortcut hold = store.holdTrigger();
    if (hold.isModifierOnly()) {
        const bool held = modifiers == hold.modifiers;
        if (held != modifierOnlyHoldTriggerIsDown) {
            modifierOnlyHoldTriggerIsDown = held;
            handleHoldTriggerChange(held);
        }
        return;
    }
    const TriggerShortcut press = store.pressTrigger();
    if (!press.isModifierOnly()) return;
    const bool matched = modifiers == press.modifiers;
    if (matched && !modifierOnlyPressTriggerIsDown) {
        if (isListening_)
            stopDictation();
        else if (!isProcessingDictation_)
            startDictation();
    }
    modifierOnlyPressTriggerIsDown = matched;
}

void AppDelegate::setShortcutCaptureActive(bool active) {
    if (isShortcutCaptureActive_ == active) return;
    isShortcutCaptureActive_ = active;
    if (active) {
        if (hotKeyManager) hotKeyManager->uninstallHotKeys();
        logDiagnostic("shortcut capture started; global hotkeys disabled");
    } else {
        logDiagnostic("shortcut capture ended; global hotkeys reloading");
        reloadHotKeys();
    }
}

void AppDelegate::reloadHotKeys() {
    // The triggers may have changed with the shortcuts.
    updateTriggerToolTips();
    if (!hotKeyManager) return;
    if (isShortcutCaptureActive_)
        hotKeyManager->uninstallHotKeys();
    else
        hotKeyManager->install(store.shortcuts(), store.pressTrigger());
}

std::string AppDelegate::shortcutStatusText() const {
    // On Wayland the program registers nothing itself: the desktop or the
    // compositor holds the keys.
    if (identity.session == "wayland") {
        switch (triggerMechanism().kind) {
        case TriggerMechanism::Kind::desktopShortcuts:
            return desktopShortcuts_.empty() ? "Waiting for the desktop to register the shortcuts…"
                                             : "Shortcuts registered with the desktop";
        case TriggerMechanism::Kind::compositorCommands: return "Shortcuts are the keys bound in your compositor";
        case TriggerMechanism::Kind::keyGrabs: break;
        }
    }
    if (!hotKeyManager || hotKeyManager->registrationFailures().empty()) return "All shortcuts registered";
    std::string text;
    for (const auto& failure : hotKeyManager->registrationFailures()) {
        if (!text.empty()) text += ' ';
        text += failure;
    }
    return text;
}

TriggerMechanism AppDelegate::triggerMechanism() const {
    if (identity.session != "wayland") return {};
    if (identity.triggersNeedBinding || !desktopShortcutsProblem_.empty())
        return {TriggerMechanism::Kind::compositorCommands, triggerCommandBindings(), desktopShortcutsProblem_};
    return {TriggerMechanism::Kind::desktopShortcuts, desktopShortcuts_, {}};
}

void AppDelegate::desktopShortcutsBound(std::vector<TriggerBinding> bound) {
    desktopShortcuts_ = std::move(bound);
    desktopShortcutsProblem_.clear();
}

void AppDelegate::desktopShortcutsFailed(const std::string& problem) { desktopShortcutsProblem_ = problem; }

std::string AppDelegate::functionKeyName() const {
    return keyEventSource ? keyEventSource->functionKeyName() : "Fn";
}

void AppDelegate::hotKeyManagerDidPressToggle() { toggleDictation(); }
void AppDelegate::hotKeyManagerDidPressMouseTrigger() { toggleDictation(); }
void AppDelegate::hotKeyManagerDidPressRepolish(TransformStyle style) { repolishSelection(style); }
void AppDelegate::hotKeyManagerDidPressEscape() { cancelDictation(); }
void AppDelegate::hotKeyManagerDidPressReturn() { stopDictation(); }

}  // namespace tavlo
