#include "platform/linux/x11/X11Pasteboard.h"

#include <X11/Xatom.h>
#include <X11/extensions/Xfixes.h>

#include <algorithm>
#include <vector>

#include "platform/linux/x11/SelectionText.h"

namespace tavlo::x11 {
namespace {

using Clock = std::chrono::steady_clock;

// A requestor that stops taking pieces of a large text is given up on after
// this long; at most this many large answers are in flight at once.
constexpr auto transferTimeout = std::chrono::seconds(5);
constexpr std::size_t maxTransfers = 8;

struct Atoms {
    Atom clipboard, primary, targets, timestamp, utf8String, textPlainUtf8, string, text, incr, readProperty;
};

const Atoms& atoms(Display* display) {
    // Atoms are the same for every connection to one server; tests may open
    // another server, so remember the display they belong to.
    static Display* known = nullptr;
    static Atoms cached{};
    if (known != display) {
        known = display;
        cached = Atoms{
            XInternAtom(display, "CLIPBOARD", False),
            XA_PRIMARY,
            XInternAtom(display, "TARGETS", False),
            XInternAtom(display, "TIMESTAMP", False),
            XInternAtom(display, "UTF8_STRING", False),
            XInternAtom(display, "text/plain;charset=utf-8", False),
            XA_STRING,
            XInternAtom(display, "TEXT", False),
            XInternAtom(display, "INCR", False),
            XInternAtom(display, "TAVLO_SELECTION", False),
        };
    }
    return cached;
}

}  // namespace

std::shared_ptr<X11Pasteboard> X11Pasteboard::create(std::shared_ptr<X11Connection> connection) {
    auto pasteboard = std::shared_ptr<X11Pasteboard>(new X11Pasteboard(std::move(connection)));
    std::weak_ptr<X11Pasteboard> weak = pasteboard;
    pasteboard->listener_ = pasteboard->connection_->addListener([weak](XEvent& event) {
        if (auto self = weak.lock()) self->handleEvent(event);
    });
    return pasteboard;
}

X11Pasteboard::X11Pasteboard(std::shared_ptr<X11Connection> connection) : connection_(std::move(connection)) {
    Display* display = connection_->display();
    // An unmapped window that owns our selections and receives answers.
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    window_ = XCreateWindow(display, connection_->root(), -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent,
                            CWEventMask, &attributes);
    const long maxRequest = XMaxRequestSize(display) * 4;
    chunkSize_ = static_cast<std::size_t>(std::clamp(maxRequest - 1024, 4096L, 256L * 1024));

    int error = 0, major = 5, minor = 0;
    if (XFixesQueryExtension(display, &xfixesEventBase_, &error) && XFixesQueryVersion(display, &major, &minor)) {
        XFixesSelectSelectionInput(display, connection_->root(), atoms(display).clipboard,
                                   XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                                       XFixesSelectionClientCloseNotifyMask);
    } else {
        xfixesEventBase_ = -1;
    }
    connection_->flush();
}

X11Pasteboard::~X11Pasteboard() {
    connection_->removeListener(listener_);
    // Our selections end with the window.
    XDestroyWindow(connection_->display(), window_);
    connection_->flush();
}

bool X11Pasteboard::own(Atom selection, std::string_view text) {
    Display* display = connection_->display();
    const Time time = connection_->serverTime();
    XSetSelectionOwner(display, selection, window_, time);
    if (XGetSelectionOwner(display, selection) != window_) {
        owned_.erase(selection);
        connection_->flush();
        return false;
    }
    owned_[selection] = Owned{std::string(text), time};
    connection_->flush();
    return true;
}

void X11Pasteboard::clearContents() {
    Display* display = connection_->display();
    const Atom clipboard = atoms(display).clipboard;
    owned_.erase(clipboard);
    lastClear_ = connection_->serverTime();
    XSetSelectionOwner(display, clipboard, None, lastClear_);
    connection_->flush();
    ++changeCount_;
}

void X11Pasteboard::setString(std::string_view text) {
    own(atoms(connection_->display()).clipboard, text);
    ++changeCount_;
}

void X11Pasteboard::setPrimaryString(std::string_view text) { own(XA_PRIMARY, text); }

std::int64_t X11Pasteboard::changeCount() const {
    // Take in owner changes that have already arrived.
    connection_->dispatchPending();
    return changeCount_;
}

std::optional<std::string> X11Pasteboard::string() const {
    Display* display = connection_->display();
    const Atoms& names = atoms(display);
    connection_->dispatchPending();
    const Window owner = XGetSelectionOwner(display, names.clipboard);
    // The reply may have brought events into Xlib's queue: hand them out soon.
    connection_->flush();
    if (owner == None) return std::nullopt;
    if (owner == window_) {
        const auto found = owned_.find(names.clipboard);
        if (found != owned_.end()) return found->second.text;
    }
    if (auto text = requestText(names.utf8String)) return wellFormedUtf8(*text);
    // Refused, not timed out: older owners may still speak Latin-1.
    if (reading_ && reading_->answered && reading_->property == None)
        if (auto text = requestText(names.string)) return utf8FromLatin1(*text);
    return std::nullopt;
}

std::optional<std::string> X11Pasteboard::requestText(Atom target) const {
    Display* display = connection_->display();
    const Atoms& names = atoms(display);
    XDeleteProperty(display, window_, names.readProperty);
    reading_ = Reading{};
    XConvertSelection(display, names.clipboard, target, names.readProperty, window_, CurrentTime);
    XFlush(display);
    if (!connection_->waitFor([this] { return reading_->answered; }, readTimeout)) return std::nullopt;
    if (reading_->property == None) return std::nullopt;

    // Reads and deletes the property; absent when it is not text or too large.
    auto take = [&](bool& incremental) -> std::optional<std::string> {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        reading_->newValue = false;
        if (XGetWindowProperty(display, window_, names.readProperty, 0, static_cast<long>(maxReadBytes / 4 + 1), True,
                               AnyPropertyType, &type, &format, &count, &after, &data) != Success)
            return std::nullopt;
        std::optional<std::string> bytes;
        incremental = type == names.incr;
        if (incremental || (format == 8 && after == 0 && count <= maxReadBytes))
            bytes = std::string(reinterpret_cast<const char*>(data), incremental ? 0 : count);
        if (data) XFree(data);
        if (after > 0) XDeleteProperty(display, window_, names.readProperty);
        return bytes;
    };

    bool incremental = false;
    std::optional<std::string> text = take(incremental);
    if (!text || !incremental) return text;
    // A large text comes in pieces: each deletion of the property asks for
    // the next one, and an empty piece ends it.
    XFlush(display);
    std::string whole;
    for (;;) {
        if (!connection_->waitFor([this] { return reading_->newValue; }, readTimeout)) return std::nullopt;
        bool nested = false;
        auto piece = take(nested);
        XFlush(display);
        if (!piece || nested || whole.size() + piece->size() > maxReadBytes) return std::nullopt;
        if (piece->empty()) return whole;
        whole += *piece;
    }
}

void X11Pasteboard::handleEvent(XEvent& event) {
    Display* display = connection_->display();
    const Atoms& names = atoms(display);
    if (!transfers_.empty()) dropStaleTransfers();

    if (xfixesEventBase_ >= 0 && event.type == xfixesEventBase_ + XFixesSelectionNotify) {
        const auto& notify = reinterpret_cast<const XFixesSelectionNotifyEvent&>(event);
        if (notify.selection != names.clipboard) return;
        // Our own changes were counted when we made them.
        if (notify.owner == window_) return;
        if (notify.owner == None && notify.subtype == XFixesSetSelectionOwnerNotify &&
            notify.selection_timestamp == lastClear_)
            return;
        ++changeCount_;
        return;
    }

    switch (event.type) {
    case SelectionClear:
        // The notice may be older than our latest taking of the selection:
        // only the server knows whether it is still ours.
        if (event.xselectionclear.window == window_ &&
            XGetSelectionOwner(display, event.xselectionclear.selection) != window_)
            owned_.erase(event.xselectionclear.selection);
        break;
    case SelectionRequest:
        if (event.xselectionrequest.owner == window_) answer(event.xselectionrequest);
        break;
    case SelectionNotify:
        if (reading_ && event.xselection.requestor == window_ && event.xselection.selection == names.clipboard) {
            reading_->answered = true;
            reading_->property = event.xselection.property;
        }
        break;
    case PropertyNotify: {
        const auto& property = event.xproperty;
        if (property.window == window_) {
            if (reading_ && property.atom == names.readProperty && property.state == PropertyNewValue)
                reading_->newValue = true;
        } else if (property.state == PropertyDelete) {
            continueTransfer(property.window, property.atom);
        }
        break;
    }
    default:
        break;
    }
}

void X11Pasteboard::answer(const XSelectionRequestEvent& request) {
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = request.display;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.property = None;
    reply.time = request.time;

    const auto found = owned_.find(request.selection);
    // Requests made before we took the selection are for the previous owner.
    if (found != owned_.end() && (request.time == CurrentTime || request.time >= found->second.since)) {
        // Clients of the oldest conventions name no property: use the target.
        const Atom property = request.property != None ? request.property : request.target;
        if (convert(found->second, request.target, property, request.requestor)) reply.property = property;
    }
    XSendEvent(connection_->display(), request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
    XFlush(connection_->display());
}

bool X11Pasteboard::convert(const Owned& owned, Atom target, Atom property, Window requestor) {
    Display* display = connection_->display();
    const Atoms& names = atoms(display);
    if (target == names.targets) {
        const Atom offered[] = {names.targets, names.timestamp, names.utf8String, names.textPlainUtf8, names.string,
                                names.text};
        XChangeProperty(display, requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(offered), std::size(offered));
        return true;
    }
    if (target == names.timestamp) {
        const long time = static_cast<long>(owned.since);
        XChangeProperty(display, requestor, property, XA_INTEGER, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&time), 1);
        return true;
    }
    if (target == names.utf8String || target == names.textPlainUtf8) return send(requestor, property, target, owned.text);
    if (target == names.string || target == names.text) {
        // TEXT lets the owner choose: Latin-1 when the text fits, else UTF-8.
        if (auto latin1 = latin1FromUtf8(owned.text)) return send(requestor, property, XA_STRING, std::move(*latin1));
        if (target == names.text) return send(requestor, property, names.utf8String, owned.text);
        return false;
    }
    // MULTIPLE and anything else: refused.
    return false;
}

bool X11Pasteboard::send(Window requestor, Atom property, Atom type, std::string data) {
    Display* display = connection_->display();
    if (data.size() <= chunkSize_) {
        XChangeProperty(display, requestor, property, type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
        return true;
    }
    const auto key = std::make_pair(requestor, property);
    if (transfers_.size() >= maxTransfers && !transfers_.contains(key)) return false;
    // The requestor deletes the property to ask for each next piece; we
    // must hear about it before announcing the transfer.
    connection_->selectMoreInput(requestor, PropertyChangeMask);
    const long size = static_cast<long>(data.size());
    XChangeProperty(display, requestor, property, atoms(display).incr, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&size), 1);
    transfers_[key] = Transfer{std::move(data), 0, type, Clock::now()};
    return true;
}

void X11Pasteboard::continueTransfer(Window requestor, Atom property) {
    const auto found = transfers_.find({requestor, property});
    if (found == transfers_.end()) return;
    Transfer& transfer = found->second;
    Display* display = connection_->display();
    const std::size_t length = std::min(chunkSize_, transfer.data.size() - transfer.sent);
    XChangeProperty(display, requestor, property, transfer.type, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(transfer.data.data() + transfer.sent),
                    static_cast<int>(length));
    XFlush(display);
    transfer.sent += length;
    transfer.lastProgress = Clock::now();
    // The empty piece that ends the transfer has just gone out.
    if (length == 0) finishTransfer(found);
}

void X11Pasteboard::finishTransfer(std::map<std::pair<Window, Atom>, Transfer>::iterator transfer) {
    const Window requestor = transfer->first.first;
    transfers_.erase(transfer);
    const bool stillBusy = std::any_of(transfers_.begin(), transfers_.end(),
                                       [&](const auto& entry) { return entry.first.first == requestor; });
    if (stillBusy || requestor == connection_->root()) return;
    // Stop hearing about the requestor's properties (it may be gone by now).
    Display* display = connection_->display();
    connection_->trapErrors([&] {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, requestor, &attributes))
            XSelectInput(display, requestor, attributes.your_event_mask & ~PropertyChangeMask);
    });
}

void X11Pasteboard::dropStaleTransfers() {
    const auto now = Clock::now();
    for (auto entry = transfers_.begin(); entry != transfers_.end();) {
        auto next = std::next(entry);
        if (now - entry->second.lastProgress > transferTimeout) finishTransfer(entry);
        entry = next;
    }
}

}  // namespace tavlo::x11
