#include "app/cli/DeliveryAdapters.h"

#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/atspi/AtspiElement.h"
#include "platform/linux/files/FileDeliveryLock.h"
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
    return {clipboard, workspace, accessibility, wayland::VirtualKeyboardPoster::create(connection, std::move(keys)),
            std::make_shared<FileDeliveryLock>(), connection};
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
