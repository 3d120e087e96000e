#pragma once
// The desktop's global shortcuts through the GlobalShortcuts portal (KDE
// Plasma 5.27+, GNOME 48+, Hyprland): a Wayland client cannot watch the
// keyboard, so it names its shortcuts with the keys it would like, and the
// desktop (which may ask the user once, and lets the user change the keys)
// says when one is pressed (Activated) and let go (Deactivated).
//
// One session for the program's life; binding again replaces the set. Each
// step is a portal request (see PortalRequest.h). Runs on the main thread,
// through GLib's main context (Qt's loop dispatches it).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GVariant GVariant;

namespace tavlo::portal {

class PortalRequest;

struct PortalShortcut {
    std::string id;
    std::string description;
    // In the XDG shortcut format ("CTRL+ALT+d"); may be empty.
    std::string preferredTrigger;
};

struct BoundShortcut {
    std::string id;
    // How the desktop describes the keys bound ("Ctrl+Alt+D").
    std::string triggerDescription;
};

struct GlobalShortcutsHandlers {
    // Activated (pressed) and Deactivated (released).
    std::function<void(const std::string& id, bool pressed)> shortcutChanged;
    // The keys bound, after binding and whenever the user changes them.
    std::function<void(const std::vector<BoundShortcut>&)> shortcutsBound;
    // Why the shortcuts cannot be used (the user refused, no portal), as a
    // sentence for the user.
    std::function<void(const std::string& problem)> failed;
};

class GlobalShortcutsPortal : public std::enable_shared_from_this<GlobalShortcutsPortal> {
public:
    // Null without a session bus.
    static std::shared_ptr<GlobalShortcutsPortal> create(GlobalShortcutsHandlers handlers);
    ~GlobalShortcutsPortal();
    GlobalShortcutsPortal(const GlobalShortcutsPortal&) = delete;
    GlobalShortcutsPortal& operator=(const GlobalShortcutsPortal&) = delete;

    // Whether the desktop's portal offers global shortcuts at all (asks the bus).
    bool available() const;
    // Opens the session on first use, then binds `shortcuts`.
    void bind(std::vector<PortalShortcut> shortcuts);

private:
    explicit GlobalShortcutsPortal(GDBusConnection* bus, GlobalShortcutsHandlers handlers);
    using Answer = std::function<void(std::uint32_t response, GVariant* results)>;
    // Calls `method` with `parameters` whose options carry `token`, and
    // hands the Response to `answer` (one request at a time).
    void request(const char* method, GVariant* parameters, const std::string& token, Answer answer);
    void createSession();
    void sendBind();
    void reportBound(GVariant* shortcuts);
    void fail(const std::string& problem);

    static void signalled(GDBusConnection*, const char* sender, const char* path, const char* interface,
                          const char* signal, GVariant* parameters, void* data);

    GDBusConnection* bus_;
    GlobalShortcutsHandlers handlers_;
    std::string session_;  // the session's object path once open
    bool sessionRequested_ = false;
    std::vector<PortalShortcut> wanted_;
    bool bindWaiting_ = false;
    unsigned signalSubscription_ = 0;
    std::shared_ptr<PortalRequest> request_;
};

}  // namespace tavlo::portal
