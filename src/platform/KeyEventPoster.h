#pragma once
// Keystrokes synthesised as if the user typed them: the desktop's paste and
// copy shortcuts, aimed at an application the controller brought to the
// front, and Return. The adapter picks the shortcut the target understands
// (terminals paste with another one than text fields) and waits, briefly,
// for the user to let go of any modifier still held from the trigger, which
// would turn the shortcut into a different one.
#include <functional>
#include <optional>

#include "platform/RunningApplication.h"

namespace tavlo {

class KeyEventPoster {
public:
    // Runs on the main thread, possibly before the posting call returns,
    // with whether the keystroke went out.
    using Completion = std::function<void(bool sent)>;

    virtual ~KeyEventPoster() = default;

    // Whether this program may synthesise keystrokes at all.
    virtual bool isPostingPermitted() const = 0;
    // Asks the desktop for that permission where it can be asked for; the answer.
    virtual bool requestPostingPermission() = 0;

    // The paste shortcut of `target`, which should be in front.
    virtual void postPaste(const RunningApplication& target, Completion completion) = 0;
    // The copy shortcut of `target` (absent when the front application is
    // unknown: the usual shortcut).
    virtual void postCopy(const std::optional<RunningApplication>& target, Completion completion) = 0;
    // Return, to whatever has the keyboard focus: the caller makes sure the
    // intended application is still in front.
    virtual void postReturn(Completion completion) = 0;
};

}  // namespace tavlo
