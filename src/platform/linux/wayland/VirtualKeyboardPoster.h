#pragma once
// The paste and copy shortcuts and Return through the virtual-keyboard
// protocol of wlroots compositors (sway, Hyprland): a keyboard of our own in
// the user's seat, whose keys reach whatever surface has the keyboard focus
// as if typed. It brings its own keymap (US layout), so the shortcuts mean
// the same whatever layout the user types with; the modifiers the user may
// still hold on the real keyboard belong to that keyboard and do not mix in.
//
// On Wayland a field that takes text over the accessibility bus gets it that
// way, without touching the clipboard: for such a field no paste keystroke
// goes out (the completion says none was sent, and the controller writes the
// text in). Terminals paste with Ctrl+Shift+V and copy with Ctrl+Shift+C.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/KeyEventPoster.h"
#include "platform/linux/desktop/TerminalKind.h"
#include "platform/linux/wayland/WaylandConnection.h"

struct zwp_virtual_keyboard_v1;

namespace tavlo::wayland {

struct VirtualKeyboardPosterOptions {
    // What kind of program the target is; every target is an ordinary text
    // field without it.
    std::function<desktop::TerminalKind(const RunningApplication&)> terminalKind;
    // Whether the focused field takes text over the accessibility bus.
    std::function<bool()> focusedFieldTakesText;
};

class VirtualKeyboardPoster final : public KeyEventPoster {
public:
    using Options = VirtualKeyboardPosterOptions;

    // Null when the compositor does not offer the protocol, has no seat, or
    // the keymap cannot be made.
    static std::shared_ptr<VirtualKeyboardPoster> create(std::shared_ptr<WaylandConnection> connection,
                                                         Options options = {});
    ~VirtualKeyboardPoster() override;
    VirtualKeyboardPoster(const VirtualKeyboardPoster&) = delete;
    VirtualKeyboardPoster& operator=(const VirtualKeyboardPoster&) = delete;

    // The compositor offering the protocol is the permission.
    bool isPostingPermitted() const override { return keyboard_ != nullptr; }
    bool requestPostingPermission() override { return isPostingPermitted(); }
    void postPaste(const RunningApplication& target, Completion completion) override;
    void postCopy(const std::optional<RunningApplication>& target, Completion completion) override;
    void postReturn(Completion completion) override;

    // Linux input key codes, as the protocol counts keys.
    using Chord = std::vector<std::uint32_t>;
    // Presses the keys in order and releases them in reverse; true when the
    // compositor took them.
    bool send(const Chord& chord);

private:
    VirtualKeyboardPoster(std::shared_ptr<WaylandConnection> connection, Options options);
    bool sendKeymap();
    desktop::TerminalKind kindOf(const std::optional<RunningApplication>& target) const;

    std::shared_ptr<WaylandConnection> connection_;
    Options options_;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;
    std::uint32_t controlMask_ = 0;
    std::uint32_t shiftMask_ = 0;
};

}  // namespace tavlo::wayland
