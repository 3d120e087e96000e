#pragma once
// The desktop's applications on Wayland, where a client can neither ask
// which window is active nor raise another's: the application in front is
// the owner of the element that has the keyboard focus on the accessibility
// bus, and applications are named from /proc and the desktop entries.
// Bringing a target to the front is not possible; delivery goes to the field
// that has the focus anyway. Main thread only (the accessibility library).
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Accessibility.h"
#include "platform/Workspace.h"
#include "platform/linux/desktop/DesktopEntry.h"
#include "platform/linux/desktop/TerminalKind.h"

namespace tavlo::wayland {

struct AccessibleWorkspaceOptions {
    // This program; its process id is filled in.
    RunningApplication self;
    std::string locale = desktop::messagesLocale();
    std::vector<std::filesystem::path> applicationDirectories = desktop::DesktopEntryIndex::applicationDirectories();
};

class AccessibleWorkspace final : public Workspace {
public:
    using Options = AccessibleWorkspaceOptions;

    AccessibleWorkspace(std::shared_ptr<Accessibility> accessibility, Options options = {});

    std::optional<RunningApplication> frontmostApplication() const override;
    std::optional<RunningApplication> runningApplication(int processIdentifier) const override;
    RunningApplication currentApplication() const override { return self_; }
    bool isTerminated(const RunningApplication& application) const override;
    // Whether the application is a terminal, which pastes with another
    // shortcut: from its desktop entry's categories and its names.
    desktop::TerminalKind terminalKind(const RunningApplication& application) const;
    // A Wayland client may not raise another one's window: nothing happens.
    void activate(const RunningApplication&) override {}
    // Kept, but never called: the focus is read when it is needed.
    void setActivationHandler(ActivationHandler handler) override { handler_ = std::move(handler); }

private:
    struct Names {
        std::string executable;
        std::string command;
        const desktop::DesktopEntry* entry = nullptr;
    };
    Names namesOf(int processIdentifier) const;

    std::shared_ptr<Accessibility> accessibility_;
    RunningApplication self_;
    std::string locale_;
    desktop::DesktopEntryIndex entries_;
    ActivationHandler handler_;
};

}  // namespace tavlo::wayland
