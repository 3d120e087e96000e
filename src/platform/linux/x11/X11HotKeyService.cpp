#include "platform/linux/x11/X11HotKeyService.h"

#include <X11/Xlib.h>

#include <utility>

namespace tavlo::x11 {

std::shared_ptr<X11HotKeyService> X11HotKeyService::create(std::shared_ptr<X11Connection> connection) {
    auto service = std::shared_ptr<X11HotKeyService>(new X11HotKeyService(connection));
    std::weak_ptr<X11HotKeyService> weak = service;
    service->eventListener_ = connection->addListener([weak](XEvent& event) {
        if (auto self = weak.lock()) self->handleEvent(event);
    });
    service->keyboardListener_ = connection->addKeyboardListener([weak] {
        if (auto self = weak.lock()) self->regrabAll();
    });
    return service;
}

X11HotKeyService::X11HotKeyService(std::shared_ptr<X11Connection> connection) : connection_(std::move(connection)) {}

X11HotKeyService::~X11HotKeyService() {
    connection_->removeListener(eventListener_);
    connection_->removeListener(keyboardListener_);
    for (const auto& [_, entry] : grabs_) ungrab(entry);
    connection_->flush();
}

std::vector<unsigned> X11HotKeyService::lockVariants() const {
    const auto& bits = connection_->modifierBits();
    std::vector<unsigned> locks{0};
    for (unsigned lock : {static_cast<unsigned>(LockMask), bits.numLock, bits.scrollLock}) {
        if (!lock) continue;
        const std::size_t count = locks.size();
        for (std::size_t i = 0; i < count; ++i) locks.push_back(locks[i] | lock);
    }
    return locks;
}

bool X11HotKeyService::grab(Grab& entry) {
    entry.keycode = connection_->keycodeForKeyCode(entry.keyCode);
    entry.state = stateFromCarbonModifiers(entry.modifiers, connection_->modifierBits());
    entry.isDown = false;
    if (!entry.keycode) return false;
    Display* display = connection_->display();
    const int error = connection_->trapErrors([&] {
        for (unsigned lock : lockVariants())
            XGrabKey(display, static_cast<int>(entry.keycode), entry.state | lock, connection_->root(), False,
                     GrabModeAsync, GrabModeAsync);
    });
    if (error == 0) return true;
    // Another client holds one of the variants: drop those that were taken.
    ungrab(entry);
    entry.keycode = 0;
    return false;
}

void X11HotKeyService::ungrab(const Grab& entry) {
    if (!entry.keycode) return;
    Display* display = connection_->display();
    connection_->trapErrors([&] {
        for (unsigned lock : lockVariants())
            XUngrabKey(display, static_cast<int>(entry.keycode), entry.state | lock, connection_->root());
    });
}

std::optional<HotKeyRegistration> X11HotKeyService::registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                                   std::uint32_t id) {
    for (const auto& [_, entry] : grabs_)
        if (entry.keyCode == keyCode && entry.modifiers == modifiers) return std::nullopt;
    Grab entry{keyCode, modifiers, id};
    if (!grab(entry)) return std::nullopt;
    grabs_[++lastRegistration_] = entry;
    return lastRegistration_;
}

void X11HotKeyService::unregisterHotKey(HotKeyRegistration registration) {
    auto found = grabs_.find(registration);
    if (found == grabs_.end()) return;
    ungrab(found->second);
    grabs_.erase(found);
}

void X11HotKeyService::regrabAll() {
    // The tables already describe the new layout; the old grabs were made
    // with the old one, so release them by the key codes they used.
    for (auto& [_, entry] : grabs_) ungrab(entry);
    for (auto& [_, entry] : grabs_) grab(entry);
}

void X11HotKeyService::handleEvent(const XEvent& event) {
    if (event.type != KeyPress && event.type != KeyRelease) return;
    const auto& key = event.xkey;
    const auto& bits = connection_->modifierBits();
    const unsigned locks = LockMask | bits.numLock | bits.scrollLock;
    const unsigned state = key.state & ~locks & 0xff;
    for (auto& [_, entry] : grabs_) {
        if (!entry.keycode || entry.keycode != key.keycode) continue;
        if (event.type == KeyRelease) {
            // Modifiers may be gone by the release: match by key alone.
            entry.isDown = false;
            continue;
        }
        if (entry.state != state) continue;
        // A held key repeats its press; it counts once.
        if (entry.isDown) return;
        entry.isDown = true;
        if (handler_) handler_(entry.id);
        return;
    }
}

}  // namespace tavlo::x11
