// Qt first: X11 headers define macros (Bool, Status) that break Qt's.
#include <QTimer>

#include "platform/linux/x11/X11KeyEventPoster.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <utility>

namespace tavlo::x11 {
namespace {

// Stored key codes of the letters, looked up in the current layout (with
// the physical place as the fallback for layouts without Latin letters).
constexpr std::uint32_t keyCodeC = 8;
constexpr std::uint32_t keyCodeV = 9;
// In a chord, letters are named by stored key code, marked with a bit that
// no keysym uses; everything else by keysym.
constexpr unsigned long letterMark = 1ul << 31;

}  // namespace

std::shared_ptr<X11KeyEventPoster> X11KeyEventPoster::create(std::shared_ptr<X11Connection> connection,
                                                             std::shared_ptr<X11Workspace> workspace,
                                                             std::shared_ptr<X11Pasteboard> pasteboard) {
    return std::shared_ptr<X11KeyEventPoster>(
        new X11KeyEventPoster(std::move(connection), std::move(workspace), std::move(pasteboard)));
}

X11KeyEventPoster::X11KeyEventPoster(std::shared_ptr<X11Connection> connection,
                                     std::shared_ptr<X11Workspace> workspace,
                                     std::shared_ptr<X11Pasteboard> pasteboard)
    : connection_(std::move(connection)), workspace_(std::move(workspace)), pasteboard_(std::move(pasteboard)) {
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    hasXTest_ = XTestQueryExtension(connection_->display(), &eventBase, &errorBase, &major, &minor);
}

desktop::TerminalKind X11KeyEventPoster::kindOf(const std::optional<RunningApplication>& target) const {
    if (!target || !workspace_) return desktop::TerminalKind::notTerminal;
    return workspace_->terminalKind(*target);
}

void X11KeyEventPoster::postPaste(const RunningApplication& target, Completion completion) {
    switch (kindOf(target)) {
    case desktop::TerminalKind::xtermLike:
        // The text goes on PRIMARY too, where Shift+Insert takes it from.
        if (pasteboard_)
            if (auto text = pasteboard_->string()) pasteboard_->setPrimaryString(*text);
        post({XK_Shift_L, XK_Insert}, std::move(completion));
        return;
    case desktop::TerminalKind::terminal:
        post({XK_Control_L, XK_Shift_L, letterMark | keyCodeV}, std::move(completion));
        return;
    case desktop::TerminalKind::notTerminal:
        post({XK_Control_L, letterMark | keyCodeV}, std::move(completion));
        return;
    }
}

void X11KeyEventPoster::postCopy(const std::optional<RunningApplication>& target, Completion completion) {
    if (kindOf(target) == desktop::TerminalKind::notTerminal)
        post({XK_Control_L, letterMark | keyCodeC}, std::move(completion));
    else
        post({XK_Control_L, XK_Shift_L, letterMark | keyCodeC}, std::move(completion));
}

void X11KeyEventPoster::postReturn(Completion completion) { post({XK_Return}, std::move(completion)); }

bool X11KeyEventPoster::modifiersHeld() const {
    XkbStateRec state{};
    const bool read = XkbGetState(connection_->display(), XkbUseCoreKbd, &state) == Success;
    connection_->flush();  // the reply may have brought events along
    if (!read) return false;
    const unsigned locks = LockMask | connection_->modifierBits().numLock | connection_->modifierBits().scrollLock;
    return ((state.base_mods | state.latched_mods) & ~locks & 0xff) != 0;
}

void X11KeyEventPoster::post(Chord chord, Completion completion) {
    if (!hasXTest_) {
        if (completion) completion(false);
        return;
    }
    postWhenReleased(std::move(chord), std::move(completion), std::chrono::steady_clock::now() + modifierWait);
}

void X11KeyEventPoster::postWhenReleased(Chord chord, Completion completion,
                                         std::chrono::steady_clock::time_point deadline) {
    if (modifiersHeld() && std::chrono::steady_clock::now() < deadline) {
        QTimer::singleShot(modifierPoll, [weak = weak_from_this(), chord = std::move(chord),
                                          completion = std::move(completion), deadline]() mutable {
            if (auto self = weak.lock()) self->postWhenReleased(std::move(chord), std::move(completion), deadline);
        });
        return;
    }
    const bool sent = send(chord);
    if (completion) completion(sent);
}

bool X11KeyEventPoster::send(const Chord& chord) {
    std::vector<unsigned> keycodes;
    for (const unsigned long key : chord) {
        const unsigned keycode = (key & letterMark) ? connection_->keycodeForKeyCode(static_cast<std::uint32_t>(key & ~letterMark))
                                                    : connection_->keycodeForKeysym(key);
        if (!keycode) return false;
        keycodes.push_back(keycode);
    }
    Display* display = connection_->display();
    for (const unsigned keycode : keycodes) XTestFakeKeyEvent(display, keycode, True, CurrentTime);
    for (auto keycode = keycodes.rbegin(); keycode != keycodes.rend(); ++keycode)
        XTestFakeKeyEvent(display, *keycode, False, CurrentTime);
    connection_->flush();
    return true;
}

}  // namespace tavlo::x11
