#include "platform/linux/x11/X11KeyEventSource.h"

#include "base/Records.h"

#include <X11/XF86keysym.h>
#include <X11/XKBlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

#include <utility>

namespace tavlo::x11 {

std::shared_ptr<X11KeyEventSource> X11KeyEventSource::create(std::shared_ptr<X11Connection> connection) {
    auto source = std::shared_ptr<X11KeyEventSource>(new X11KeyEventSource(std::move(connection)));
    source->findFunctionKey();
    return source;
}

X11KeyEventSource::X11KeyEventSource(std::shared_ptr<X11Connection> connection)
    : connection_(std::move(connection)) {}

X11KeyEventSource::~X11KeyEventSource() { stop(); }

void X11KeyEventSource::findFunctionKey() {
    if (unsigned fn = connection_->keycodeForKeysym(functionKeysym)) {
        functionKeycode_ = fn;
        functionIsStandIn_ = false;
    } else {
        functionKeycode_ = connection_->keycodeForKeysym(XK_Control_R);
        functionIsStandIn_ = true;
    }
}

std::string X11KeyEventSource::functionKeyName() const { return functionIsStandIn_ ? "Right Ctrl" : "Fn"; }

std::uint32_t X11KeyEventSource::functionKeyModifiers() const {
    return functionIsStandIn_ ? CarbonModifier::control : 0;
}

bool X11KeyEventSource::start(KeyEventHandlers handlers) {
    auto opcode = connection_->xinputOpcode();
    if (!opcode || connection_->xkbEventBase() < 0) return false;
    stop();
    handlers_ = std::move(handlers);
    Display* display = connection_->display();

    unsigned char mask[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(mask, XI_RawKeyPress);
    XISetMask(mask, XI_RawKeyRelease);
    XIEventMask eventMask{XIAllMasterDevices, sizeof mask, mask};
    XISelectEvents(display, connection_->root(), &eventMask, 1);
    XkbSelectEventDetails(display, XkbUseCoreKbd, XkbStateNotify, XkbModifierStateMask, XkbModifierStateMask);

    XkbStateRec state{};
    XkbGetState(display, XkbUseCoreKbd, &state);
    modifierState_ = state.mods;
    reportedModifiers_ = carbonModifiersFromState(modifierState_, connection_->modifierBits());
    functionDown_ = false;
    pressedKeys_.clear();

    std::weak_ptr<X11KeyEventSource> weak = weak_from_this();
    eventListener_ = connection_->addListener([weak](XEvent& event) {
        if (auto self = weak.lock()) self->handleEvent(event);
    });
    keyboardListener_ = connection_->addKeyboardListener([weak] {
        if (auto self = weak.lock()) self->findFunctionKey();
    });
    running_ = true;
    connection_->flush();
    return true;
}

void X11KeyEventSource::stop() {
    if (!running_) return;
    running_ = false;
    connection_->removeListener(eventListener_);
    connection_->removeListener(keyboardListener_);
    unsigned char mask[XIMaskLen(XI_LASTEVENT)] = {};
    XIEventMask eventMask{XIAllMasterDevices, sizeof mask, mask};
    XISelectEvents(connection_->display(), connection_->root(), &eventMask, 1);
    XkbSelectEventDetails(connection_->display(), XkbUseCoreKbd, XkbStateNotify, XkbModifierStateMask, 0);
    connection_->flush();
    handlers_ = {};
}

void X11KeyEventSource::handleEvent(const XEvent& event) {
    if (event.type == GenericEvent && connection_->xinputOpcode() &&
        event.xcookie.extension == *connection_->xinputOpcode() && event.xcookie.data) {
        if (event.xcookie.evtype == XI_RawKeyPress || event.xcookie.evtype == XI_RawKeyRelease) {
            const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
            handleRawKey(static_cast<unsigned>(raw->detail), event.xcookie.evtype == XI_RawKeyPress);
        }
        return;
    }
    // While one of this program's own grabs is active, the server reports
    // the key's release through the grab only, not as a raw event.
    if (event.type == KeyRelease) {
        if (pressedKeys_.count(event.xkey.keycode)) handleRawKey(event.xkey.keycode, false);
        return;
    }
    if (event.type == connection_->xkbEventBase()) {
        const auto& xkb = reinterpret_cast<const XkbEvent&>(event);
        if (xkb.any.xkb_type == XkbStateNotify) handleModifierState(xkb.state.mods);
    }
}

void X11KeyEventSource::handleRawKey(unsigned keycode, bool isDown) {
    // Which keys are held, to tell Right Ctrl alone from Right Ctrl in a
    // shortcut; the modifier state cannot tell, as it may or may not
    // include the key that is being pressed.
    const bool othersHeld = !(pressedKeys_.empty() || (pressedKeys_.size() == 1 && pressedKeys_.count(keycode)));
    if (isDown)
        pressedKeys_.insert(keycode);
    else
        pressedKeys_.erase(keycode);

    if (keycode == functionKeycode_ && functionKeycode_ != 0) {
        if (isDown == functionDown_) return;
        if (isDown && functionIsStandIn_ && othersHeld) return;
        functionDown_ = isDown;
        if (handlers_.functionKeyChanged) handlers_.functionKeyChanged(isDown);
        return;
    }
    if (isDown && functionDown_ && functionIsStandIn_) {
        // Right Ctrl is being used as Ctrl for a shortcut, not as Fn.
        functionDown_ = false;
        if (handlers_.functionKeyChanged) handlers_.functionKeyChanged(false);
    }
    auto keyCode = connection_->keyCodeForKeycode(keycode);
    if (!keyCode) return;
    const auto modifiers = carbonModifiersFromState(modifierState_, connection_->modifierBits());
    if (handlers_.keyChanged) handlers_.keyChanged(*keyCode, modifiers, isDown);
}

void X11KeyEventSource::handleModifierState(unsigned state) {
    modifierState_ = state;
    const auto modifiers = carbonModifiersFromState(state, connection_->modifierBits());
    if (modifiers == reportedModifiers_) return;
    reportedModifiers_ = modifiers;
    if (handlers_.modifiersChanged) handlers_.modifiersChanged(modifiers);
}

}  // namespace tavlo::x11
