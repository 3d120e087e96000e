#pragma once
// The hub's one key capture, shared by Home (recording a dictation trigger)
// and Shortcuts (recording an action's shortcut). At most one capture runs;
// starting either ends the other. While one runs the host keeps its global
// shortcuts and triggers off: every move into or out of idle tells it.
//
//   idle --Record (row A)--> recording action A --key with modifier--> idle (stored)
//   idle --Record (Home)---> recording trigger R --Fn / modifiers / key with modifier--> pending set
//   (where the desktop binds the keys, Fn or modifiers alone are refused with a message)
//   any capture --Escape / Cancel--> idle;  recording trigger --Save with pending--> idle
#include <cstdint>
#include <optional>

#include "hub/model/HubContext.h"
#include "hub/model/HubKeyEvent.h"
#include "base/Records.h"
#include "settings/ShortcutDisplay.h"

namespace tavlo {

// The two Home triggers; the value is the tag of their rows' buttons.
enum class TriggerRole { hold = 0, press = 1 };

// The role of a button tag; absent outside 0 and 1.
std::optional<TriggerRole> triggerRoleForTag(int tag);

class KeyCapture {
public:
    explicit KeyCapture(HubContext& context) : context_(context) {}
    KeyCapture(const KeyCapture&) = delete;
    KeyCapture& operator=(const KeyCapture&) = delete;

    std::optional<ShortcutAction> capturedAction() const { return action_; }
    std::optional<TriggerRole> capturedTriggerRole() const { return triggerRole_; }
    // The trigger recorded on Home and not yet saved into the draft.
    const std::optional<TriggerShortcut>& pendingTrigger() const { return pendingTrigger_; }
    bool isActive() const { return action_ || triggerRole_; }
    // Why the last key recorded was refused because another action already
    // uses it ("Ctrl+Alt+Space is already the Hands-free toggle's shortcut.
    // Choose other keys."); cleared by the next key accepted or capture begun.
    const std::string& conflict() const { return conflict_; }

    // Interprets one key event; true when it was handled (the view then
    // swallows an event of its own window). Escape always ends any capture
    // and is handled, even when nothing was being recorded.
    bool handle(const HubKeyEvent& event);

    // Starts recording a trigger for Home, dropping any other capture and any
    // pending trigger; renders Home.
    void beginTriggerCapture(TriggerRole role);
    // Starts recording the action's shortcut, dropping any trigger capture;
    // renders Shortcuts.
    void beginActionCapture(ShortcutAction action);
    // Ends any capture without storing anything and re-renders the section
    // shown; nothing when idle.
    void cancel();
    // Ends the trigger capture after its pending trigger went into the draft
    // (no rendering: the caller renders).
    void finishTriggerCapture();

private:
    bool handleActionKey(const HubKeyEvent& event);
    bool handleTriggerKey(const HubKeyEvent& event);
    void setCaptureActive(bool active);
    // Whether a modifier held alone can be a trigger on this desktop.
    bool modifiersAloneBindable() const;
    // The conflict message when the keys are another action's shortcut or a
    // trigger (other than `action`'s own); empty when they are free.
    std::string conflictFor(std::uint32_t keyCode, std::uint32_t modifiers, std::optional<ShortcutAction> action) const;

    HubContext& context_;
    std::optional<ShortcutAction> action_;
    std::optional<TriggerRole> triggerRole_;
    std::optional<TriggerShortcut> pendingTrigger_;
    std::string conflict_;
};

}  // namespace tavlo
