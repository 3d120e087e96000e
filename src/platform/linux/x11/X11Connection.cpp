// Qt first: X11 headers define macros (Bool, Status) that break Qt's.
#include <QMetaObject>
#include <QSocketNotifier>

#include "platform/linux/x11/X11Connection.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>
#include <poll.h>

namespace tavlo::x11 {
namespace {

// Xlib reports errors through one process-wide handler. While a trap runs,
// the first error is kept for it; otherwise errors are dropped, because a
// window or grab that went away meanwhile is no reason to end the program.
int trappedError = 0;
bool trapActive = false;

int recordError(Display*, XErrorEvent* error) {
    if (trapActive && trappedError == 0) trappedError = error->error_code;
    return 0;
}

}  // namespace

std::shared_ptr<X11Connection> X11Connection::open(const std::string& displayName) {
    Display* display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (!display) return nullptr;
    XSetErrorHandler(recordError);
    return std::shared_ptr<X11Connection>(new X11Connection(display));
}

bool X11Connection::displayAvailable(const std::string& displayName) {
    Display* display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (!display) return false;
    XCloseDisplay(display);
    return true;
}

X11Connection::X11Connection(Display* display) : display_(display), root_(DefaultRootWindow(display)) {
    int opcode = 0, event = 0, error = 0;
    if (XQueryExtension(display_, "XInputExtension", &opcode, &event, &error)) {
        int major = 2, minor = 2;
        if (XIQueryVersion(display_, &major, &minor) == Success) xinputOpcode_ = opcode;
    }
    int major = XkbMajorVersion, minor = XkbMinorVersion, xkbOpcode = 0, xkbError = 0;
    if (XkbQueryExtension(display_, &xkbOpcode, &xkbEventBase_, &xkbError, &major, &minor)) {
        // Without this a held key reports a release before every repeat.
        Bool supported = False;
        XkbSetDetectableAutoRepeat(display_, True, &supported);
        XkbSelectEvents(display_, XkbUseCoreKbd, XkbNewKeyboardNotifyMask | XkbMapNotifyMask,
                        XkbNewKeyboardNotifyMask | XkbMapNotifyMask);
    } else {
        xkbEventBase_ = -1;
    }
    reloadKeyboard();

    notifier_ = std::make_unique<QSocketNotifier>(ConnectionNumber(display_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { readEvents(); });
    XFlush(display_);
}

X11Connection::~X11Connection() {
    notifier_.reset();
    if (clockWindow_) XDestroyWindow(display_, clockWindow_);
    XCloseDisplay(display_);
}

X11Connection::ListenerId X11Connection::addListener(EventListener listener) {
    listeners_[++lastListener_] = std::move(listener);
    return lastListener_;
}

X11Connection::ListenerId X11Connection::addKeyboardListener(std::function<void()> listener) {
    keyboardListeners_[++lastListener_] = std::move(listener);
    return lastListener_;
}

void X11Connection::removeListener(ListenerId id) {
    listeners_.erase(id);
    keyboardListeners_.erase(id);
}

int X11Connection::trapErrors(const std::function<void()>& requests) {
    XSync(display_, False);
    trapActive = true;
    trappedError = 0;
    requests();
    XSync(display_, False);
    trapActive = false;
    const int error = trappedError;
    trappedError = 0;
    // XSync may have read events into Xlib's queue, where the socket
    // notifier cannot see them.
    drainSoon();
    return error;
}

void X11Connection::flush() {
    XFlush(display_);
    drainSoon();
}

void X11Connection::dispatchPending() { readEvents(); }

bool X11Connection::waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + limit;
    for (;;) {
        readEvents();
        if (done()) return true;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd entry{ConnectionNumber(display_), POLLIN, 0};
        ::poll(&entry, 1, static_cast<int>(left.count()));
    }
}

Time X11Connection::serverTime() {
    if (!clockWindow_) {
        XSetWindowAttributes attributes{};
        attributes.event_mask = PropertyChangeMask;
        clockWindow_ = XCreateWindow(display_, root_, -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent, CWEventMask,
                                     &attributes);
    }
    // A zero-length append changes nothing but reports the server's time.
    const Atom clock = XInternAtom(display_, "TAVLO_CLOCK", False);
    XChangeProperty(display_, clockWindow_, clock, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XSync(display_, False);
    struct Match {
        Window window;
        Atom atom;
    } match{clockWindow_, clock};
    auto isClockEvent = [](Display*, XEvent* event, XPointer argument) -> Bool {
        const auto* wanted = reinterpret_cast<const Match*>(argument);
        return event->type == PropertyNotify && event->xproperty.window == wanted->window &&
               event->xproperty.atom == wanted->atom;
    };
    XEvent event;
    Time time = CurrentTime;
    if (XCheckIfEvent(display_, &event, isClockEvent, reinterpret_cast<XPointer>(&match))) time = event.xproperty.time;
    drainSoon();
    return time;
}

void X11Connection::selectMoreInput(Window window, long mask) {
    XWindowAttributes attributes;
    long current = 0;
    trapErrors([&] {
        if (XGetWindowAttributes(display_, window, &attributes)) current = attributes.your_event_mask;
    });
    if ((current & mask) == mask) return;
    XSelectInput(display_, window, current | mask);
    XFlush(display_);
}

void X11Connection::drainSoon() {
    if (drainScheduled_) return;
    drainScheduled_ = true;
    QMetaObject::invokeMethod(
        notifier_.get(),
        [weak = weak_from_this()] {
            if (auto self = weak.lock()) {
                self->drainScheduled_ = false;
                self->readEvents();
            }
        },
        Qt::QueuedConnection);
}

void X11Connection::readEvents() {
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        dispatch(event);
    }
}

void X11Connection::dispatch(XEvent& event) {
    bool keyboardChanged = false;
    if (event.type == MappingNotify) {
        XRefreshKeyboardMapping(&event.xmapping);
        keyboardChanged = event.xmapping.request != MappingPointer;
    } else if (xkbEventBase_ >= 0 && event.type == xkbEventBase_) {
        const auto& xkb = reinterpret_cast<const XkbAnyEvent&>(event);
        keyboardChanged = xkb.xkb_type == XkbNewKeyboardNotify || xkb.xkb_type == XkbMapNotify;
    }
    if (keyboardChanged) {
        reloadKeyboard();
        for (const auto& [_, listener] : std::map(keyboardListeners_)) listener();
    }

    const bool generic = event.type == GenericEvent && XGetEventData(display_, &event.xcookie);
    // A listener may add or remove listeners: walk a copy.
    for (const auto& [_, listener] : std::map(listeners_)) listener(event);
    if (generic) XFreeEventData(display_, &event.xcookie);
}

void X11Connection::reloadKeyboard() {
    ModifierBits bits{0, 0, 0, 0};
    if (XModifierKeymap* map = XGetModifierMapping(display_)) {
        for (int modifier = Mod1MapIndex; modifier <= Mod5MapIndex; ++modifier) {
            for (int k = 0; k < map->max_keypermod; ++k) {
                const KeyCode code = map->modifiermap[modifier * map->max_keypermod + k];
                if (!code) continue;
                const unsigned mask = 1u << modifier;
                for (int level = 0; level < 4; ++level) {
                    const KeySym sym = XkbKeycodeToKeysym(display_, code, 0, level);
                    if ((sym == XK_Alt_L || sym == XK_Alt_R || sym == XK_Meta_L) && !bits.alt) bits.alt = mask;
                    if ((sym == XK_Super_L || sym == XK_Super_R) && !bits.super) bits.super = mask;
                    if (sym == XK_Num_Lock && !bits.numLock) bits.numLock = mask;
                    if (sym == XK_Scroll_Lock && !bits.scrollLock) bits.scrollLock = mask;
                }
            }
        }
        XFreeModifiermap(map);
    }
    // Keep the usual places when a layout leaves a modifier out.
    if (!bits.alt) bits.alt = Mod1Mask;
    if (!bits.super) bits.super = Mod4Mask;
    if (!bits.numLock) bits.numLock = Mod2Mask;
    modifierBits_ = bits;
}

unsigned X11Connection::keycodeForKeysym(Keysym keysym) const { return XKeysymToKeycode(display_, keysym); }

Keysym X11Connection::baseKeysym(unsigned keycode) const {
    if (keycode < 8 || keycode > 255) return NoSymbol;
    return XkbKeycodeToKeysym(display_, static_cast<KeyCode>(keycode), 0, 0);
}

unsigned X11Connection::keycodeForKeyCode(std::uint32_t keyCode) const {
    if (auto keysym = keysymForKeyCode(keyCode))
        if (unsigned code = keycodeForKeysym(*keysym)) return code;
    return physicalKeyForKeyCode(keyCode).value_or(0);
}

std::optional<std::uint32_t> X11Connection::keyCodeForKeycode(unsigned keycode) const {
    const Keysym base = baseKeysym(keycode);
    if (auto code = keyCodeForKeysym(base)) return code;
    // A key the layout gives another script's letter (a Cyrillic layout) or
    // an application symbol (F13 as XF86Tools): its physical place decides.
    return keyCodeForPhysicalKey(keycode);
}

}  // namespace tavlo::x11
