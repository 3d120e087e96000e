#pragma once
// The desktop's applications on X11, as the window manager tells them
// (EWMH): the active window and the process behind it, the managed windows,
// and activation on request. An application is a process with at least one
// managed window; its identifier and name come from its desktop entry when
// one matches, so that per-application settings keep working across runs.
//
// Activation is asked for as a pager would (source 2), which window managers
// grant without focus-stealing checks, and its result is heard as a change
// of the root window's _NET_ACTIVE_WINDOW. While switching, window managers
// briefly report no active window: those moments are ignored.
#include <X11/Xlib.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Workspace.h"
#include "platform/linux/desktop/DesktopEntry.h"
#include "platform/linux/desktop/TerminalKind.h"
#include "platform/linux/x11/X11Connection.h"

namespace tavlo::x11 {

struct X11WorkspaceOptions {
    // This program; its process id is filled in.
    RunningApplication self{0, "tavlo", "Tavlo"};
    std::vector<std::filesystem::path> applicationDirectories = desktop::DesktopEntryIndex::applicationDirectories();
    std::string locale = desktop::messagesLocale();
};

class X11Workspace final : public Workspace, public std::enable_shared_from_this<X11Workspace> {
public:
    using Options = X11WorkspaceOptions;

    static std::shared_ptr<X11Workspace> create(std::shared_ptr<X11Connection> connection, Options options = {});
    ~X11Workspace() override;

    std::optional<RunningApplication> frontmostApplication() const override;
    std::optional<RunningApplication> runningApplication(int processIdentifier) const override;
    RunningApplication currentApplication() const override { return self_; }
    bool isTerminated(const RunningApplication& application) const override;
    void activate(const RunningApplication& application) override;
    void setActivationHandler(ActivationHandler handler) override { handler_ = std::move(handler); }

    // Whether the application is a terminal, and which paste it understands.
    desktop::TerminalKind terminalKind(const RunningApplication& application) const;

private:
    struct Identity {
        unsigned long long startTime = 0;  // tells a reused process id apart
        RunningApplication application;
        desktop::TerminalKind terminalKind = desktop::TerminalKind::notTerminal;
    };

    X11Workspace(std::shared_ptr<X11Connection> connection, Options options);
    void handleEvent(const XEvent& event);
    Window activeWindow() const;
    std::optional<int> processOf(Window window) const;
    // The application's topmost managed window that is not a dialog; None when it has none.
    Window mainWindowOf(int processIdentifier) const;
    std::optional<Identity> identify(int processIdentifier, Window window) const;
    // The identity already worked out for this process, if it still runs.
    std::optional<Identity> knownIdentity(int processIdentifier) const;

    std::shared_ptr<X11Connection> connection_;
    X11Connection::ListenerId listener_ = 0;
    RunningApplication self_;
    std::string locale_;
    desktop::DesktopEntryIndex entries_;
    ActivationHandler handler_;
    int lastActiveProcess_ = 0;
    mutable std::map<int, Identity> identities_;
};

}  // namespace tavlo::x11
