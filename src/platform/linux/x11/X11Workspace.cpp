#include "platform/linux/x11/X11Workspace.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <unistd.h>

#include "platform/linux/process/ProcessInfo.h"
#include "platform/linux/x11/SelectionText.h"
#include "platform/linux/x11/X11Properties.h"

namespace tavlo::x11 {
namespace {

// Identities are kept per process; a desktop with more is cleared and
// rebuilt rather than let grow.
constexpr std::size_t maxIdentities = 256;

// Replies to our requests may bring events along into Xlib's queue, where
// the socket notifier cannot see them: have them handed out soon.
struct DrainAfterwards {
    X11Connection& connection;
    ~DrainAfterwards() { connection.flush(); }
};

Atom atom(Display* display, const char* name) { return XInternAtom(display, name, False); }

// Names come from other programs' windows and files: well-formed UTF-8,
// no control characters, a sane length.
std::string displayable(std::string_view raw) {
    std::string text = wellFormedUtf8(raw.substr(0, 256));
    std::string clean;
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) clean.push_back(c);
    return clean;
}

}  // namespace

std::shared_ptr<X11Workspace> X11Workspace::create(std::shared_ptr<X11Connection> connection, Options options) {
    auto workspace = std::shared_ptr<X11Workspace>(new X11Workspace(std::move(connection), std::move(options)));
    std::weak_ptr<X11Workspace> weak = workspace;
    workspace->listener_ = workspace->connection_->addListener([weak](XEvent& event) {
        if (auto self = weak.lock()) self->handleEvent(event);
    });
    workspace->connection_->selectMoreInput(workspace->connection_->root(), PropertyChangeMask);
    if (const Window active = workspace->activeWindow())
        workspace->lastActiveProcess_ = workspace->processOf(active).value_or(0);
    return workspace;
}

X11Workspace::X11Workspace(std::shared_ptr<X11Connection> connection, Options options)
    : connection_(std::move(connection)),
      self_(std::move(options.self)),
      locale_(std::move(options.locale)),
      entries_(std::move(options.applicationDirectories)) {
    self_.processIdentifier = static_cast<int>(::getpid());
}

X11Workspace::~X11Workspace() { connection_->removeListener(listener_); }

Window X11Workspace::activeWindow() const {
    Display* display = connection_->display();
    return singleLong(display, connection_->root(), atom(display, "_NET_ACTIVE_WINDOW"), XA_WINDOW).value_or(None);
}

std::optional<int> X11Workspace::processOf(Window window) const {
    Display* display = connection_->display();
    if (auto pid = singleLong(display, window, atom(display, "_NET_WM_PID"), XA_CARDINAL); pid && *pid > 0)
        return static_cast<int>(*pid);
    // Windows that do not say: ask the server which local client made it.
    XResClientIdSpec clientId{window, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* values = nullptr;
    std::optional<int> pid;
    int eventBase = 0, errorBase = 0;
    if (XResQueryExtension(display, &eventBase, &errorBase) &&
        XResQueryClientIds(display, 1, &clientId, &count, &values) == Success) {
        for (long i = 0; i < count && !pid; ++i)
            if (const pid_t found = XResGetClientPid(&values[i]); found > 0) pid = static_cast<int>(found);
        XResClientIdsDestroy(count, values);
    }
    return pid;
}

Window X11Workspace::mainWindowOf(int processIdentifier) const {
    Display* display = connection_->display();
    const Window root = connection_->root();
    auto clients = longProperty(display, root, atom(display, "_NET_CLIENT_LIST_STACKING"), XA_WINDOW);
    if (clients.empty()) clients = longProperty(display, root, atom(display, "_NET_CLIENT_LIST"), XA_WINDOW);
    Window dialog = None;
    // Stacking order runs bottom to top: the last match is the one in front.
    for (auto client = clients.rbegin(); client != clients.rend(); ++client) {
        if (processOf(*client) != processIdentifier) continue;
        Window owner = None;
        if (!XGetTransientForHint(display, *client, &owner)) return *client;
        if (dialog == None) dialog = *client;
    }
    return dialog;
}

std::optional<X11Workspace::Identity> X11Workspace::knownIdentity(int processIdentifier) const {
    const auto known = identities_.find(processIdentifier);
    if (known == identities_.end() || processStartTime(processIdentifier) != known->second.startTime)
        return std::nullopt;
    return known->second;
}

std::optional<X11Workspace::Identity> X11Workspace::identify(int processIdentifier, Window window) const {
    const auto started = processStartTime(processIdentifier);
    if (!started) return std::nullopt;
    if (const auto known = identities_.find(processIdentifier);
        known != identities_.end() && known->second.startTime == *started)
        return known->second;

    Display* display = connection_->display();
    std::string applicationId, instance, windowClass;
    if (window != None) {
        applicationId = displayable(textProperty(display, window, atom(display, "_GTK_APPLICATION_ID")).value_or(""));
        XClassHint hint{nullptr, nullptr};
        if (XGetClassHint(display, window, &hint)) {
            if (hint.res_name) instance = displayable(hint.res_name);
            if (hint.res_class) windowClass = displayable(hint.res_class);
            XFree(hint.res_name);
            XFree(hint.res_class);
        }
    }
    const std::string executable = displayable(processExecutableName(processIdentifier).value_or(""));
    const std::string command = displayable(processCommandName(processIdentifier).value_or(""));

    // The most specific name first: the application id GTK announces, the
    // window class, then the program.
    const desktop::DesktopEntry* entry = nullptr;
    auto tryFind = [&](auto lookup, const std::string& name) {
        if (!entry && !name.empty()) entry = (entries_.*lookup)(name);
    };
    tryFind(&desktop::DesktopEntryIndex::byId, applicationId);
    tryFind(&desktop::DesktopEntryIndex::byId, windowClass);
    tryFind(&desktop::DesktopEntryIndex::byId, instance);
    tryFind(&desktop::DesktopEntryIndex::byWmClass, windowClass);
    tryFind(&desktop::DesktopEntryIndex::byWmClass, instance);
    tryFind(&desktop::DesktopEntryIndex::byId, executable);
    tryFind(&desktop::DesktopEntryIndex::byExecutable, executable);
    tryFind(&desktop::DesktopEntryIndex::byExecutable, command);

    Identity identity;
    identity.startTime = *started;
    identity.application.processIdentifier = processIdentifier;
    auto firstOf = [](std::initializer_list<const std::string*> names) -> std::optional<std::string> {
        for (const std::string* name : names)
            if (!name->empty()) return *name;
        return std::nullopt;
    };
    std::vector<std::string> categories;
    if (entry) {
        identity.application.bundleIdentifier = displayable(entry->id);
        identity.application.localizedName = displayable(desktop::localizedName(*entry, locale_));
        categories = entry->categories;
    } else {
        identity.application.bundleIdentifier = firstOf({&applicationId, &windowClass, &command, &executable});
        identity.application.localizedName = firstOf({&windowClass, &command, &executable});
    }
    identity.terminalKind = desktop::terminalKindOf(
        {identity.application.bundleIdentifier.value_or(""), instance, windowClass, executable, command}, categories);

    // Only a desktop entry's name is final: without a window, or before an
    // application has set all its window's properties (GTK's application id
    // may come late), a later look may find a better one.
    if (window == None || !entry) return identity;
    if (identities_.size() >= maxIdentities) identities_.clear();
    identities_[processIdentifier] = identity;
    return identity;
}

std::optional<RunningApplication> X11Workspace::frontmostApplication() const {
    const DrainAfterwards drain{*connection_};
    const Window active = activeWindow();
    if (active == None) return std::nullopt;
    const auto pid = processOf(active);
    if (!pid) return std::nullopt;
    if (*pid == self_.processIdentifier) return self_;
    if (const auto identity = identify(*pid, active)) return identity->application;
    return std::nullopt;
}

std::optional<RunningApplication> X11Workspace::runningApplication(int processIdentifier) const {
    const DrainAfterwards drain{*connection_};
    if (processIdentifier == self_.processIdentifier) return self_;
    if (processIdentifier <= 0) return std::nullopt;
    if (const auto identity = identify(processIdentifier, mainWindowOf(processIdentifier)))
        return identity->application;
    return std::nullopt;
}

bool X11Workspace::isTerminated(const RunningApplication& application) const {
    const DrainAfterwards drain{*connection_};
    if (application.processIdentifier == self_.processIdentifier) return false;
    // Gone, or without a window left to take text. (The name is not compared:
    // an application's window may name it better a moment after it starts.)
    return !processStartTime(application.processIdentifier) || mainWindowOf(application.processIdentifier) == None;
}

desktop::TerminalKind X11Workspace::terminalKind(const RunningApplication& application) const {
    const DrainAfterwards drain{*connection_};
    if (application.processIdentifier == self_.processIdentifier) return desktop::TerminalKind::notTerminal;
    // Asked before every paste: a process already known needs no window search.
    auto identity = knownIdentity(application.processIdentifier);
    if (!identity) identity = identify(application.processIdentifier, mainWindowOf(application.processIdentifier));
    return identity ? identity->terminalKind : desktop::TerminalKind::notTerminal;
}

void X11Workspace::activate(const RunningApplication& application) {
    const Window window = mainWindowOf(application.processIdentifier);
    if (window == None) return;
    Display* display = connection_->display();
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.window = window;
    message.xclient.message_type = atom(display, "_NET_ACTIVE_WINDOW");
    message.xclient.format = 32;
    message.xclient.data.l[0] = 2;  // asked for by a pager, on the user's behalf
    // Without a real time, window managers may take the request for an old
    // one and refuse it after the user's latest keystroke.
    message.xclient.data.l[1] = static_cast<long>(connection_->serverTime());
    message.xclient.data.l[2] = None;  // we have no active window of our own
    XSendEvent(display, connection_->root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &message);
    connection_->flush();
}

void X11Workspace::handleEvent(const XEvent& event) {
    if (event.type != PropertyNotify || event.xproperty.window != connection_->root()) return;
    Display* display = connection_->display();
    if (event.xproperty.atom != atom(display, "_NET_ACTIVE_WINDOW")) return;
    const Window active = activeWindow();
    if (active == None) return;  // between two windows
    const auto pid = processOf(active);
    if (!pid || *pid == lastActiveProcess_) return;
    lastActiveProcess_ = *pid;
    if (!handler_) return;
    if (*pid == self_.processIdentifier) {
        handler_(self_);
    } else if (const auto identity = identify(*pid, active)) {
        const RunningApplication application = identity->application;
        handler_(application);
    }
}

}  // namespace tavlo::x11
