#include "platform/linux/wayland/VirtualKeyboardPoster.h"

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>

#include "virtual-keyboard-client-protocol.h"

namespace tavlo::wayland {
namespace {

std::uint32_t nowMilliseconds() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

struct Keymap {
    std::string text;
    std::uint32_t control = 0;
    std::uint32_t shift = 0;
};

// The US layout's keymap as text, and where its Control and Shift sit in
// the modifier mask.
std::optional<Keymap> usKeymap() {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context) return std::nullopt;
    const xkb_rule_names names{"evdev", "pc105", "us", "", ""};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    std::optional<Keymap> result;
    if (keymap) {
        if (char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1)) {
            const xkb_mod_index_t control = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_CTRL);
            const xkb_mod_index_t shift = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT);
            if (control != XKB_MOD_INVALID && shift != XKB_MOD_INVALID)
                result = Keymap{text, 1u << control, 1u << shift};
            std::free(text);
        }
        xkb_keymap_unref(keymap);
    }
    xkb_context_unref(context);
    return result;
}

}  // namespace

std::shared_ptr<VirtualKeyboardPoster> VirtualKeyboardPoster::create(std::shared_ptr<WaylandConnection> connection,
                                                                     Options options) {
    if (!connection || !connection->virtualKeyboardManager() || !connection->seat()) return nullptr;
    std::shared_ptr<VirtualKeyboardPoster> poster(new VirtualKeyboardPoster(std::move(connection), std::move(options)));
    if (!poster->sendKeymap()) return nullptr;
    return poster;
}

VirtualKeyboardPoster::VirtualKeyboardPoster(std::shared_ptr<WaylandConnection> connection, Options options)
    : connection_(std::move(connection)), options_(std::move(options)) {}

VirtualKeyboardPoster::~VirtualKeyboardPoster() {
    if (keyboard_) zwp_virtual_keyboard_v1_destroy(keyboard_);
    connection_->flush();
}

bool VirtualKeyboardPoster::sendKeymap() {
    const auto keymap = usKeymap();
    if (!keymap) return false;
    // The compositor maps the keymap from a file, with its final zero byte.
    const int fd = ::memfd_create("tavlo-keymap", MFD_CLOEXEC);
    if (fd < 0) return false;
    const std::size_t size = keymap->text.size() + 1;
    bool written = true;
    for (std::size_t done = 0; written && done < size;) {
        const ssize_t count = ::write(fd, keymap->text.c_str() + done, size - done);
        written = count > 0;
        if (written) done += static_cast<std::size_t>(count);
    }
    if (!written) {
        ::close(fd);
        return false;
    }
    keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(connection_->virtualKeyboardManager(),
                                                                          connection_->seat());
    zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, static_cast<std::uint32_t>(size));
    ::close(fd);
    controlMask_ = keymap->control;
    shiftMask_ = keymap->shift;
    // A compositor that refuses us (it may allow virtual keyboards only to
    // some clients) ends the connection with an error.
    if (!connection_->roundtrip() || connection_->broken()) {
        zwp_virtual_keyboard_v1_destroy(keyboard_);
        keyboard_ = nullptr;
        return false;
    }
    return true;
}

desktop::TerminalKind VirtualKeyboardPoster::kindOf(const std::optional<RunningApplication>& target) const {
    if (!target || !options_.terminalKind) return desktop::TerminalKind::notTerminal;
    return options_.terminalKind(*target);
}

void VirtualKeyboardPoster::postPaste(const RunningApplication& target, Completion completion) {
    if (options_.focusedFieldTakesText && options_.focusedFieldTakesText()) {
        if (completion) completion(false);
        return;
    }
    // Terminals of the xterm tradition paste PRIMARY with Shift+Insert; the
    // clipboard is what this program sets, so they get the common terminal
    // shortcut, which most of them also take.
    const bool terminal = kindOf(target) != desktop::TerminalKind::notTerminal;
    const bool sent = terminal ? send({KEY_LEFTCTRL, KEY_LEFTSHIFT, KEY_V}) : send({KEY_LEFTCTRL, KEY_V});
    if (completion) completion(sent);
}

void VirtualKeyboardPoster::postCopy(const std::optional<RunningApplication>& target, Completion completion) {
    const bool terminal = kindOf(target) != desktop::TerminalKind::notTerminal;
    const bool sent = terminal ? send({KEY_LEFTCTRL, KEY_LEFTSHIFT, KEY_C}) : send({KEY_LEFTCTRL, KEY_C});
    if (completion) completion(sent);
}

void VirtualKeyboardPoster::postReturn(Completion completion) {
    const bool sent = send({KEY_ENTER});
    if (completion) completion(sent);
}

bool VirtualKeyboardPoster::send(const Chord& chord) {
    if (!keyboard_) return false;
    const auto maskOf = [this](std::uint32_t key) -> std::uint32_t {
        if (key == KEY_LEFTCTRL || key == KEY_RIGHTCTRL) return controlMask_;
        if (key == KEY_LEFTSHIFT || key == KEY_RIGHTSHIFT) return shiftMask_;
        return 0;
    };
    // The modifier state goes with the keys: receivers read it from the
    // modifiers event, not from the key codes.
    std::uint32_t held = 0;
    for (const std::uint32_t key : chord) {
        zwp_virtual_keyboard_v1_key(keyboard_, nowMilliseconds(), key, WL_KEYBOARD_KEY_STATE_PRESSED);
        if (const std::uint32_t mask = maskOf(key)) {
            held |= mask;
            zwp_virtual_keyboard_v1_modifiers(keyboard_, held, 0, 0, 0);
        }
    }
    for (auto key = chord.rbegin(); key != chord.rend(); ++key) {
        zwp_virtual_keyboard_v1_key(keyboard_, nowMilliseconds(), *key, WL_KEYBOARD_KEY_STATE_RELEASED);
        if (const std::uint32_t mask = maskOf(*key)) {
            held &= ~mask;
            zwp_virtual_keyboard_v1_modifiers(keyboard_, held, 0, 0, 0);
        }
    }
    return connection_->roundtrip() && !connection_->broken();
}

}  // namespace tavlo::wayland
