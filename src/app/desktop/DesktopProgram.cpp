// Qt first: X11 headers define macros (Bool, Status) that break Qt's.
#include <QApplication>
#include <QSocketNotifier>

#include "app/desktop/DesktopProgram.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <ostream>

#include "app/cli/DeliveryAdapters.h"
#include "app/cli/TerminalText.h"
#include "app/cli/ModelCatalogueFile.h"
#include "app/cli/RecognitionServices.h"
#include "app/cli/UserSettings.h"
#include "app/core/AppDelegate.h"
#include "app/core/DiagnosticsLog.h"
#include "app/desktop/DBusNotifications.h"
#include "app/desktop/HubLauncher.h"
#include "app/desktop/QtAlerts.h"
#include "app/desktop/QtDesktopServices.h"
#include "app/desktop/QtTray.h"
#include "app/desktop/SingleInstance.h"
#include "app/desktop/PortalTriggers.h"
#include "app/desktop/TriggerChannel.h"
#include "hub/HubTheme.h"
#include "hub/HubWindow.h"
#include "indicator/BubbleWindow.h"
#include "indicator/LayerShellBubble.h"
#include "indicator/SorvelIcon.h"
#include "indicator/model/FeedbackSound.h"
#include "platform/linux/audio/PulseSoundPlayer.h"
#include "platform/linux/files/StatvfsDiskSpace.h"
#include "platform/linux/http/CurlFileDownloader.h"
#include "platform/linux/qt/QtMainQueue.h"
#include "platform/linux/system/SystemHostEnvironment.h"
#include "platform/linux/files/SystemUserFiles.h"
#include "platform/linux/system/SystemWallClock.h"
#include "platform/linux/desktop/XdgAutostart.h"
#include "platform/linux/files/XdgDirectories.h"
#include "platform/linux/instance/InstanceChannel.h"
#include "platform/linux/wayland/DisplayServer.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11HotKeyService.h"
#include "platform/linux/x11/X11KeyEventSource.h"
#include "updates/UpdateSources.h"

namespace tavlo {
namespace {

// SIGTERM and SIGINT end the event loop through a socket the loop watches,
// so that the orderly shutdown (the warm Whisper server stopped, the grabs
// released) runs on the main thread.
int quitSignalSocket[2] = {-1, -1};

void requestQuit(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(quitSignalSocket[1], &byte, 1);
}

void installQuitSignals(QObject* owner) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, quitSignalSocket) != 0) return;
    auto* notifier = new QSocketNotifier(quitSignalSocket[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [] {
        char byte;
        [[maybe_unused]] const ssize_t ignored = ::read(quitSignalSocket[0], &byte, 1);
        // Not quit(): that asks every window first, and a dialog left open
        // (a file chooser, an unsaved-changes question) would keep the
        // program running through a logout.
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = requestQuit;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace

int runDesktopProgram(int argc, char** argv, std::ostream& err) {
    // The session decides the adapters, once: on X11 global shortcuts, key
    // monitoring and pasting speak X11; on Wayland the program runs as a
    // native client, hears its triggers from the trigger commands, and
    // delivers through the accessibility bus.
    const SystemHostEnvironment host;
    const wayland::DisplayServerChoice session = wayland::chooseDisplayServer(host);
    if (!session.server) {
        err << session.problem << "\n";
        return 1;
    }
    const bool onWayland = *session.server == wayland::DisplayServer::wayland;
    if (!onWayland && !x11::X11Connection::displayAvailable()) {
        err << "tavlo: no X11 display: the desktop program needs an X11 session (is DISPLAY set?)\n";
        return 1;
    }
    // Before anything else, so that two starts at the same moment end with
    // one program: the first to claim the channel runs, any other hands its
    // request to that one and leaves.
    InstanceChannel instance = InstanceChannel::claim();
    switch (instance.role()) {
    case InstanceChannel::Role::refused:
        err << "tavlo: " << cli::printableOnTerminal(instance.refusal()) << "\n";
        return 1;
    case InstanceChannel::Role::other:
        if (!instance.send("home")) {
            err << "tavlo: already running, but it did not take the request to open its Home window\n";
            return 1;
        }
        err << "tavlo: already running; its Home window was asked to open\n";
        return 0;
    case InstanceChannel::Role::running:
        break;
    }

    // A native client on Wayland, whatever Qt was told for other programs:
    // through XWayland nothing would reach the native windows.
    if (onWayland)
        ::setenv("QT_QPA_PLATFORM", "wayland", 1);
    else if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("Tavlo"));
    QGuiApplication::setDesktopFileName(QStringLiteral("app.tavlo.Tavlo"));
    QApplication::setWindowIcon(SorvelIcon::appIcon());
    // Dark throughout, as the bubble and Home are: dialogs, alerts and the
    // file chooser included.
    hub::applyHubTheme(app);

    const SystemWallClock wallClock;
    auto settings = openUserSettings(err);
    DiagnosticsLog log(stateHome(host) / "tavlo" / "Tavlo.log");
    log.setSecrets([&store = settings->store()] { return store.secretsSeen(); });
    auto logLine = [&log](std::string_view message) { log.logDiagnostic(message); };

    auto mainQueue = std::make_shared<QtMainQueue>();
    const RecognitionServices services = makeLiveRecognitionServices(mainQueue, host, &settings->store());
    std::shared_ptr<x11::X11Connection> x11;
    if (!onWayland) {
        x11 = x11::X11Connection::open();
        if (!x11) {
            err << "tavlo: the X11 display could not be opened\n";
            return 1;
        }
    }
    // Wayland gives a client no global keys: no shortcuts, no key monitor.
    auto hotKeyManager =
        onWayland ? nullptr : HotKeyManager::create(x11::X11HotKeyService::create(x11), mainQueue);
    const UpdateSources sources = updateSources(host);
    auto tray = std::make_shared<QtTray>(SorvelIcon::statusIcon, logLine);

    cli::DeliveryAdapters delivery = onWayland ? cli::makeWaylandDeliveryAdapters() : cli::makeX11DeliveryAdapters(x11);
    // The Home window records keys through a display connection of its own,
    // so that its key reports never disturb the triggers'.
    HubEnvironmentPorts hubEnvironment;
    hubEnvironment.store = &settings->store();
    hubEnvironment.audioCapture = services.audioCapture;
    hubEnvironment.speechRecognizer = services.speechRecognizer;
    hubEnvironment.dictationEngine = services.engine;
    hubEnvironment.accessibility = delivery.accessibility;
    hubEnvironment.loginStartup =
        std::make_shared<XdgAutostart>(host, QCoreApplication::applicationFilePath().toStdString());
    // Home downloads Whisper models the way `tavlo models download` does.
    hubEnvironment.mainQueue = mainQueue;
    hubEnvironment.fileDownloader = std::make_shared<CurlFileDownloader>();
    hubEnvironment.diskSpace = std::make_shared<StatvfsDiskSpace>();
    {
        std::string problem;
        if (auto catalogue = whisperModelCatalogue(host, problem))
            hubEnvironment.whisperModels = std::move(*catalogue);
        else
            logLine("Whisper models: " + problem);
    }
    auto hubLauncher = std::make_shared<HubLauncher>(std::move(hubEnvironment), [onWayland]() -> std::shared_ptr<KeyEventSource> {
        if (onWayland) return nullptr;
        auto connection = x11::X11Connection::open();
        if (!connection) return nullptr;
        return x11::X11KeyEventSource::create(connection);
    });

    hubLauncher->watchSettingsFile(settings->preferences().path());

    AppDelegatePorts ports;
    ports.store = &settings->store();
    ports.dictationEngine = services.engine;
    ports.mainQueue = mainQueue;
    ports.userFiles = std::make_shared<SystemUserFiles>(host);
    ports.logDiagnostic = logLine;
    ports.recordingHotKeys = hotKeyManager;
    ports.hotKeyManager = hotKeyManager;
    if (!onWayland) ports.keyEventSource = x11::X11KeyEventSource::create(x11);
    ports.feedbackTones = std::make_shared<FeedbackSound>(std::make_shared<PulseSoundPlayer>());
    delivery.addTo(ports);
    ports.openHub = [weak = std::weak_ptr<HubLauncher>(hubLauncher)] {
        if (auto launcher = weak.lock()) launcher->open();
    };
    ports.alerts = std::make_shared<QtAlerts>();
    ports.desktop = std::make_shared<QtDesktopServices>();
    ports.updateChecker = std::make_shared<UpdateChecker>(
        UpdateCheckerSettings{services.httpClient, mainQueue, sources.manifestURLs, sources.running});
    ports.wallClock = &wallClock;
    ports.identity.bundleIdentifier = "app.tavlo.Tavlo";
    ports.identity.bundlePath = QCoreApplication::applicationFilePath().toStdString();
    ports.identity.session = std::string(wayland::name(*session.server));
    // The desktop's own global shortcuts where it offers them (KDE Plasma,
    // GNOME 48+, Hyprland); the commands always.
    auto notifications = std::make_shared<DBusNotifications>();
    auto portalTriggers = onWayland ? PortalTriggers::create(notifications) : nullptr;
    ports.identity.triggerMethods = !onWayland ? "x11-keys,commands" : portalTriggers ? "portal,commands" : "commands";
    // On Wayland the keystroke exists only where the compositor lends a
    // virtual keyboard, and then comes after the write over accessibility.
    ports.identity.deliveryMethods = !onWayland                  ? "keystroke,accessibility,clipboard"
                                     : delivery.keyEventPoster ? "accessibility,keystroke,clipboard"
                                                               : "accessibility,clipboard";
    ports.identity.triggersNeedBinding = onWayland && !portalTriggers;
    ports.notifications = notifications;
    // Shown before the controller starts, so that it knows whether the menu
    // has to be found elsewhere.
    ports.identity.hasTray = tray->show();
    auto controller = AppDelegate::create(std::move(ports));
    if (portalTriggers) {
        const SettingsStore& store = settings->store();
        // Home shows the keys the desktop bound as they change.
        portalTriggers->start(controller, logLine,
                              {store.holdTrigger().keyShortcut(), store.pressTrigger().keyShortcut(), store.shortcuts()},
                              [weak = std::weak_ptr<HubLauncher>(hubLauncher)] {
                                  if (auto launcher = weak.lock()) launcher->triggerMechanismChanged();
                              });
    }
    hubLauncher->setController(controller);

    tray->setController(controller);
    controller->setStatusItem(tray);
    // The bubble goes before the application object: its window must not
    // outlive it. On Wayland an ordinary window would be placed and focused
    // by the compositor, taking the keyboard from the field the user
    // dictates into: compositors with a layer shell (wlroots, KDE) show it
    // as a layer surface that declines the keyboard; elsewhere (GNOME) the
    // tray icon alone shows the state.
    std::shared_ptr<BubbleWindow> bubble;
    std::shared_ptr<LayerShellBubble> layerBubble;
    if (!onWayland) {
        bubble = std::make_shared<BubbleWindow>(controller->placeBubble());
        bubble->bubbleView().setDelegate(controller);
        // The tray's menu, also at the bubble: the way in where the panel
        // shows no tray icon.
        QtTray::offerMenuAt(bubble->bubbleView(), tray);
        controller->setBubbleWindow(bubble);
    } else if ((layerBubble = LayerShellBubble::create(delivery.wayland, controller->placeBubble()))) {
        layerBubble->bubbleView().setDelegate(controller);
        controller->setBubbleWindow(layerBubble);
    }
    controller->applicationDidFinishLaunching();
    SingleInstance requests(instance, [weak = std::weak_ptr<AppDelegate>(controller)] {
        if (auto self = weak.lock()) self->menuOpenHub();
    });
    requests.setRequestHandler(triggerRequestHandler(controller));

    installQuitSignals(&app);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [&controller] { controller->applicationWillTerminate(); });
    const int status = app.exec();
    controller->setBubbleWindow(nullptr);
    bubble.reset();
    layerBubble.reset();
    hubLauncher.reset();
    return status;
}

}  // namespace tavlo
