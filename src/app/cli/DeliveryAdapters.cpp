#include "app/cli/DeliveryAdapters.h"

#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/atspi/AtspiElement.h"
#include "platform/linux/files/FileDeliveryLock.h"
#include "platform/linux/files/XdgDirectories.h"
#include "platform/linux/portal/RemoteDesktopKeyboard.h"
#include "platform/linux/system/SystemHostEnvironment.h"
#include "platform/linux/wayland/AccessibleWorkspace.h"
#include "platform/linux/wayland/DataControlClipboard.h"
#include "platform/linux/wayland/QtClipboard.h"
#include "platform/linux/wayland/VirtualKeyboardPoster.h"
#include "platform/linux/wayland/WaylandConnection.h"
#include "platform/linux/x11/X11KeyEventPoster.h"
#include "platform/linux/x11/X11Pasteboard.h"
#include "platform/linux/x11/X11Workspace.h"

namespace tavlo::cli {

DeliveryAdapters makeX11DeliveryAdapters(std::shared_ptr<x11::X11Connection> connection) {
    auto pasteboard = x11::X11Pasteboard::create(connection);
    x11::X11Workspace::Options options;
    // The same identity the program's desktop entry and launch line use.
    options.self.bundleIdentifier = "app.tavlo.Tavlo";
    auto workspace = x11::X11Workspace::create(connection, options);
    auto keys = x11::X11KeyEventPoster::create(connection, workspace, pasteboard);
    return {pasteboard, workspace, std::make_shared<atspi::AtspiAccessibility>(), keys,
            std::make_shared<FileDeliveryLock>(), nullptr};
}

namespace {

// Desktops that lend no virtual keyboard (KDE Plasma, GNOME) may type for
// us through the RemoteDesktop portal. The desktop asks the user first: the
// session opens at once only when an earlier grant left a restore token
// (no question then), else at the first delivery that wants a keystroke.
std::shared_ptr<KeyEventPoster> remoteDesktopKeyboard(const wayland::VirtualKeyboardPoster::Options& keys) {
    portal::RemoteDesktopKeyboard::Options options;
    options.restoreTokenFile = stateHome(SystemHostEnvironment()) / "tavlo" / "remote-desktop-token";
    options.terminalKind = keys.terminalKind;
    options.focusedFieldTakesText = keys.focusedFieldTakesText;
    auto keyboard = portal::RemoteDesktopKeyboard::create(options);
    if (keyboard && std::filesystem::exists(options.restoreTokenFile)) keyboard->start();
    return keyboard;
}

}  // namespace

DeliveryAdapters makeWaylandDeliveryAdapters() {
    auto accessibility = std::make_shared<atspi::AtspiAccessibility>();
    wayland::AccessibleWorkspace::Options options;
    options.self.bundleIdentifier = "app.tavlo.Tavlo";
    auto workspace = std::make_shared<wayland::AccessibleWorkspace>(accessibility, std::move(options));
    // wlroots and KDE compositors let a client without the focus set the
    // clipboard, and wlroots ones let it type; elsewhere only Qt's clipboard
    // remains, which takes text only while this program has the focus.
    auto connection = wayland::WaylandConnection::open();
    std::shared_ptr<Pasteboard> clipboard = wayland::DataControlClipboard::create(connection);
    if (!clipboard) clipboard = std::make_shared<wayland::QtClipboard>();
    wayland::VirtualKeyboardPoster::Options keys;
    keys.terminalKind = [workspace](const RunningApplication& target) { return workspace->terminalKind(target); };
    keys.focusedFieldTakesText = [accessibility] {
        const auto focused = std::dynamic_pointer_cast<atspi::AtspiElement>(accessibility->focusedElement());
        return focused && focused->isEditable();
    };
    std::shared_ptr<KeyEventPoster> keyEventPoster = wayland::VirtualKeyboardPoster::create(connection, keys);
    if (!keyEventPoster) keyEventPoster = remoteDesktopKeyboard(keys);
    return {clipboard, workspace, accessibility, keyEventPoster, std::make_shared<FileDeliveryLock>(), connection};
}

void DeliveryAdapters::addTo(AppDelegatePorts& ports) const {
    ports.pasteboard = pasteboard;
    ports.workspace = workspace;
    ports.accessibility = accessibility;
    ports.keyEventPoster = keyEventPoster;
    ports.deliveryLock = deliveryLock;
    ports.identity.canPostEvents = [keys = keyEventPoster] { return keys && keys->isPostingPermitted(); };
}

}  // namespace tavlo::cli
