#pragma once
// Keystrokes through the XTEST extension, which the server treats like the
// keyboard's own (its presence is the permission). They reach the window
// with the keyboard focus, so the controller brings the target forward first.
//
// Which paste: text fields take Ctrl+V; terminals take Ctrl+Shift+V (Ctrl+V
// inserts the next key literally in a shell); xterm and rxvt paste only the
// PRIMARY selection, with Shift+Insert, so the clipboard's text is offered
// there too. Copy is Ctrl+C, or Ctrl+Shift+C in terminals (Ctrl+C would
// interrupt the program running in it).
//
// A keystroke waits up to `modifierWait` for the user to let go of Ctrl,
// Shift, Alt or Super (still held from the trigger, they would make Ctrl+V
// something else), then goes out whatever the state.
#include <chrono>
#include <memory>
#include <vector>

#include "platform/KeyEventPoster.h"
#include "platform/linux/desktop/TerminalKind.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11Pasteboard.h"
#include "platform/linux/x11/X11Workspace.h"

namespace tavlo::x11 {

class X11KeyEventPoster final : public KeyEventPoster, public std::enable_shared_from_this<X11KeyEventPoster> {
public:
    static constexpr std::chrono::milliseconds modifierWait{1000};
    static constexpr std::chrono::milliseconds modifierPoll{5};

    // The workspace tells terminals apart and the pasteboard offers PRIMARY;
    // without them every target is an ordinary text field.
    static std::shared_ptr<X11KeyEventPoster> create(std::shared_ptr<X11Connection> connection,
                                                     std::shared_ptr<X11Workspace> workspace = nullptr,
                                                     std::shared_ptr<X11Pasteboard> pasteboard = nullptr);

    bool isPostingPermitted() const override { return hasXTest_; }
    bool requestPostingPermission() override { return hasXTest_; }
    void postPaste(const RunningApplication& target, Completion completion) override;
    void postCopy(const std::optional<RunningApplication>& target, Completion completion) override;
    void postReturn(Completion completion) override;

    // Whether the user holds a modifier (locks do not count).
    bool modifiersHeld() const;

private:
    // Key symbols pressed in order and released in reverse.
    using Chord = std::vector<unsigned long>;

    X11KeyEventPoster(std::shared_ptr<X11Connection> connection, std::shared_ptr<X11Workspace> workspace,
                      std::shared_ptr<X11Pasteboard> pasteboard);
    desktop::TerminalKind kindOf(const std::optional<RunningApplication>& target) const;
    void post(Chord chord, Completion completion);
    void postWhenReleased(Chord chord, Completion completion, std::chrono::steady_clock::time_point deadline);
    bool send(const Chord& chord);

    std::shared_ptr<X11Connection> connection_;
    std::shared_ptr<X11Workspace> workspace_;
    std::shared_ptr<X11Pasteboard> pasteboard_;
    bool hasXTest_ = false;
};

}  // namespace tavlo::x11
