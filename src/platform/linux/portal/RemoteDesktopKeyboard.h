#pragma once
// The paste keystroke through the RemoteDesktop portal's keyboard, for
// Wayland desktops that lend no virtual keyboard (KDE Plasma, GNOME): the
// desktop asks the user once whether Tavlo may type; with persist_mode 2 it
// hands back a restore token, kept in a file, so later sessions start
// without asking. Keys are Linux input key codes, as the portal counts them.
// Like the virtual keyboard, a field that takes text over the accessibility
// bus gets no keystroke (the controller writes the text in), and terminals
// paste with Ctrl+Shift+V. Main thread only, through GLib's main context.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/KeyEventPoster.h"
#include "platform/linux/desktop/TerminalKind.h"

typedef struct _GDBusConnection GDBusConnection;

namespace tavlo::portal {

class PortalRequest;

struct RemoteDesktopKeyboardOptions {
    // Where the restore token is kept between runs.
    std::filesystem::path restoreTokenFile;
    std::function<desktop::TerminalKind(const RunningApplication&)> terminalKind;
    std::function<bool()> focusedFieldTakesText;
    // Why the keyboard cannot be used (refused, no portal), as a sentence.
    std::function<void(const std::string& problem)> failed;
};

class RemoteDesktopKeyboard final : public KeyEventPoster,
                                    public std::enable_shared_from_this<RemoteDesktopKeyboard> {
public:
    using Options = RemoteDesktopKeyboardOptions;

    // Null without a session bus or a RemoteDesktop portal.
    static std::shared_ptr<RemoteDesktopKeyboard> create(Options options);
    ~RemoteDesktopKeyboard() override;
    RemoteDesktopKeyboard(const RemoteDesktopKeyboard&) = delete;
    RemoteDesktopKeyboard& operator=(const RemoteDesktopKeyboard&) = delete;

    // Opens the session (the desktop may ask the user, once); `ready` runs
    // with whether the keyboard may be used.
    void start(std::function<void(bool)> ready = {});

    bool isPostingPermitted() const override { return started_; }
    // The answer comes later: the session is asked for, and this says no for now.
    bool requestPostingPermission() override;
    void postPaste(const RunningApplication& target, Completion completion) override;
    void postCopy(const std::optional<RunningApplication>& target, Completion completion) override;
    void postReturn(Completion completion) override;

    using Chord = std::vector<std::int32_t>;
    // Presses the keys in order and releases them in reverse; the completion
    // learns whether the portal took them all.
    void send(const Chord& chord, Completion completion);

private:
    RemoteDesktopKeyboard(GDBusConnection* bus, Options options);
    void selectDevices();
    void startSession();
    void fail(const std::string& problem);
    desktop::TerminalKind kindOf(const std::optional<RunningApplication>& target) const;
    struct KeyEvents {
        std::vector<std::pair<std::int32_t, std::uint32_t>> events;  // key code, pressed
        std::size_t next = 0;
        Completion completion;
        bool refused = false;
    };
    void sendFrom(std::shared_ptr<KeyEvents> pending);

    GDBusConnection* bus_;
    Options options_;
    std::string session_;
    bool starting_ = false;
    bool started_ = false;
    std::vector<std::function<void(bool)>> waiting_;
    std::shared_ptr<PortalRequest> request_;
};

}  // namespace tavlo::portal
