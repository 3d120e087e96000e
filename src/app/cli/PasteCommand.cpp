#include "app/cli/PasteCommand.h"

#include <optional>
#include <ostream>

#include "app/cli/CommandEventLoop.h"
#include "app/cli/DeliveryAdapters.h"
#include "app/cli/UserSettings.h"
#include "app/cli/Utf8.h"
#include "app/core/AppDelegate.h"
#include "app/core/DiagnosticsLog.h"
#include "platform/linux/system/SystemHostEnvironment.h"
#include "platform/linux/files/SystemUserFiles.h"
#include "platform/linux/files/XdgDirectories.h"
#include "platform/linux/wayland/DisplayServer.h"
// Last: Xlib's macros clash with names in the headers above.
#include "platform/linux/x11/X11Connection.h"

namespace tavlo::cli {
namespace {

constexpr const char* usage =
    "usage: tavlo paste [--] TEXT     put TEXT into the focused application\n"
    "                                 (text that begins with a dash goes after --)";

// The text to deliver: the one argument, or the one after "--". Anything else
// that begins with a dash is an option, never text typed into the user's
// application.
std::optional<std::string> textArgument(const std::vector<std::string>& args) {
    if (args.size() == 3 && args[1] == "--") return args[2];
    if (args.size() == 2 && !args[1].starts_with("-")) return args[1];
    return std::nullopt;
}

}  // namespace

int runPaste(const std::vector<std::string>& args, Streams streams) {
    if (args.size() == 2 && (args[1] == "--help" || args[1] == "-h")) {
        streams.out << usage << "\n";
        return 0;
    }
    const auto argument = textArgument(args);
    if (!argument || argument->empty()) {
        streams.err << usage << "\n";
        return 2;
    }
    const std::string& text = *argument;
    if (!isValidUtf8(text)) {
        streams.err << "tavlo: the text is not valid UTF-8\n";
        return 2;
    }
    SystemHostEnvironment host;
    const wayland::DisplayServerChoice session = wayland::chooseDisplayServer(host);
    const bool onWayland = session.server == wayland::DisplayServer::wayland;
    if (!onWayland && !x11::X11Connection::displayAvailable()) {
        streams.err << "tavlo: no X11 display: pasting needs an X11 session (is DISPLAY set?)\n";
        return 1;
    }

    auto settings = openUserSettings(streams.err);
    DiagnosticsLog log(stateHome(host) / "tavlo" / "Tavlo.log", DiagnosticsLog::defaultClock(),
                       [](std::string_view) {});
    log.setSecrets([&store = settings->store()] { return store.secretsSeen(); });

    std::optional<PasteOutcome> outcome;
    bool displayOpened = true;
    std::shared_ptr<AppDelegate> controller;
    runCommandEventLoop([&](std::shared_ptr<MainQueue> mainQueue, Finished finished) {
        std::shared_ptr<x11::X11Connection> connection;
        if (!onWayland) {
            connection = x11::X11Connection::open();
            if (!connection) {
                displayOpened = false;
                finished();
                return;
            }
        }
        AppDelegatePorts ports;
        ports.store = &settings->store();
        ports.mainQueue = mainQueue;
        ports.userFiles = std::make_shared<SystemUserFiles>(host);
        ports.logDiagnostic = [&log](std::string_view message) { log.logDiagnostic(message); };
        ports.identity.bundleIdentifier = "app.tavlo.Tavlo";
        (onWayland ? makeWaylandDeliveryAdapters() : makeX11DeliveryAdapters(connection)).addTo(ports);
        controller = AppDelegate::create(std::move(ports));
        controller->followActiveApplications();
        // As at the start of a dictation: the focused field, to check against.
        controller->pasteOrCopy(text, false, controller->focusedTextSnapshot(), [&, finished](PasteOutcome result) {
            outcome = result;
            finished();
        });
    });
    if (!displayOpened) {
        streams.err << "tavlo: the X11 display could not be opened\n";
        return 1;
    }
    streams.out << name(*outcome) << "\n";
    // A command's clipboard text leaves with it (and without the data-control
    // protocol the compositor never takes it, a command never having the
    // focus): say so rather than let the user look for it there.
    if (onWayland && !isSuccess(*outcome))
        streams.err << "tavlo: on Wayland the text could not be put into the focused field, and a command's "
                       "clipboard text ends with the command: it is not on the clipboard\n";
    return isSuccess(*outcome) ? 0 : 1;
}

}  // namespace tavlo::cli
