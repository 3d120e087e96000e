#include "app/cli/DictateCommand.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <ostream>

#include "app/cli/CommandEventLoop.h"
#include "app/cli/DeliveryAdapters.h"
#include "app/cli/DictationControls.h"
#include "app/cli/CommandControllerPorts.h"
#include "app/cli/RecognitionServices.h"
#include "app/cli/TerminalText.h"
#include "app/cli/UserSettings.h"
#include "app/core/AppDelegate.h"
#include "app/core/DiagnosticsLog.h"
#include "base/SecretRedaction.h"
#include "platform/linux/system/SystemHostEnvironment.h"
#include "platform/linux/files/XdgDirectories.h"
#include "platform/sim/InMemoryPasteboard.h"
// Last: Xlib's macros clash with names in the headers above.
#include "platform/linux/x11/X11Connection.h"

namespace tavlo::cli {
namespace {

constexpr const char* usage =
    "usage: tavlo dictate [--seconds N] [--paste]     dictate from the microphone; Enter stops, Ctrl+C cancels;\n"
    "                                               --paste puts the text into the focused application\n"
    "       tavlo dictate --list-microphones";

// Long enough for any dictation, short enough to stay a sane timer.
constexpr double longestTimedDictation = 24 * 60 * 60;

struct DictateOptions {
    std::optional<double> seconds;
    bool listMicrophones = false;
    bool paste = false;
};

std::optional<DictateOptions> readOptions(const std::vector<std::string>& args) {
    DictateOptions options;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--list-microphones" && args.size() == 2) {
            options.listMicrophones = true;
        } else if (args[i] == "--paste" && !options.paste) {
            options.paste = true;
        } else if (args[i] == "--seconds" && i + 1 < args.size() && !options.seconds) {
            const std::string& text = args[++i];
            double value = 0;
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
            if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || value <= 0 ||
                value > longestTimedDictation)
                return std::nullopt;
            options.seconds = value;
        } else {
            return std::nullopt;
        }
    }
    return options;
}

// A device's label on one line: no control characters, no line breaks or tabs.
std::string oneLine(const std::string& text) {
    std::string printable = printableOnTerminal(text);
    for (char& c : printable)
        if (c == '\n' || c == '\t') c = ' ';
    return printable;
}

int listMicrophones(Streams streams) {
    SystemHostEnvironment host;
    int status = 1;
    runCommandEventLoop([&](std::shared_ptr<MainQueue> mainQueue, Finished finished) {
        const RecognitionServices services = makeLiveRecognitionServices(std::move(mainQueue), host);
        const auto devices = services.audioCapture->inputDevices();
        if (!devices) {
            streams.err << "tavlo: " << DictationEngineError::noInputAvailable().errorDescription() << "\n";
        } else if (devices->empty()) {
            streams.err << "tavlo: the sound server has no microphone\n";
            status = 0;
        } else {
            // Unique id first: that is what the microphoneUniqueID setting takes.
            for (const AudioDeviceInfo& device : *devices)
                if (device.uniqueID) streams.out << oneLine(*device.uniqueID) << "\t" << oneLine(device.name) << "\n";
            status = 0;
        }
        finished();
    });
    streams.out.flush();
    if (!streams.out) {
        streams.err << "tavlo: could not write the list of microphones\n";
        return 1;
    }
    return status;
}

// The live text on one terminal line, rewritten as it changes: only its end
// fits, so that is what is shown.
class LiveLine {
public:
    explicit LiveLine(std::ostream& err) : err_(err), enabled_(::isatty(STDERR_FILENO) == 1) {}

    void show(const std::string& text) {
        if (!enabled_) return;
        std::string line = oneLine(text);
        const std::size_t width = columns() - 1;
        // Keep the last `width` code points (a rough measure of columns).
        std::size_t codePoints = 0;
        std::size_t start = line.size();
        while (start > 0 && codePoints < width) {
            --start;
            if ((static_cast<unsigned char>(line[start]) & 0xC0) != 0x80) ++codePoints;
        }
        err_ << "\r\x1b[K" << line.substr(start) << std::flush;
        shown_ = true;
    }
    void clear() {
        if (!enabled_ || !shown_) return;
        err_ << "\r\x1b[K" << std::flush;
        shown_ = false;
    }
    void note(const std::string& text) {
        if (!enabled_) return;
        err_ << text << "\n" << std::flush;
    }

private:
    static std::size_t columns() {
        winsize size{};
        if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 10) return size.ws_col;
        return 80;
    }

    std::ostream& err_;
    const bool enabled_;
    bool shown_ = false;
};

}  // namespace

int runDictate(const std::vector<std::string>& args, Streams streams) {
    const auto options = readOptions(args);
    if (!options) {
        streams.err << usage << "\n";
        return 2;
    }
    if (options->listMicrophones) return listMicrophones(streams);

    if (options->paste && !x11::X11Connection::displayAvailable()) {
        streams.err << "tavlo: no X11 display: pasting needs an X11 session (is DISPLAY set?)\n";
        return 1;
    }

    auto settings = openUserSettings(streams.err);
    SystemHostEnvironment host;
    // The command's own messages go to standard error; the log file gets the
    // program's trail without repeating it there.
    DiagnosticsLog log(stateHome(host) / "tavlo" / "Tavlo.log", DiagnosticsLog::defaultClock(),
                       [](std::string_view) {});
    log.setSecrets([&store = settings->store()] { return store.secretsSeen(); });
    // Without a desktop there is no clipboard to share; the text is printed.
    auto pasteboard = std::make_shared<InMemoryPasteboard>();
    LiveLine live(streams.err);

    std::optional<DictationEnd> outcome;
    std::optional<PasteOutcome> pasteOutcome;
    bool displayOpened = true;
    // Owned here rather than by the callbacks, which the engine keeps.
    RecognitionServices services;
    std::shared_ptr<AppDelegate> controller;
    std::unique_ptr<DictationControls> controls;
    runCommandEventLoop([&](std::shared_ptr<MainQueue> mainQueue, Finished finished) {
        services = makeLiveRecognitionServices(mainQueue, host, &settings->store());
        AppDelegatePorts ports = commandControllerPorts(settings->store(), services, mainQueue, pasteboard, host, log);
        ports.canDeliverIntoApplications = false;
        if (options->paste) {
            auto connection = x11::X11Connection::open();
            if (!connection) {
                displayOpened = false;
                finished();
                return;
            }
            makeX11DeliveryAdapters(connection).addTo(ports);
            ports.identity.bundleIdentifier = "app.tavlo.Tavlo";
            ports.canDeliverIntoApplications = true;
            ports.alwaysAutoPaste = true;
        }
        controller = AppDelegate::create(std::move(ports));
        if (options->paste) controller->followActiveApplications();

        // Enter may come before listening has begun; the stop waits for it.
        auto stopRequested = std::make_shared<bool>(false);
        // Held weakly: the timer of --seconds may outlive the command.
        auto stop = [weak = std::weak_ptr<AppDelegate>(controller), stopRequested] {
            *stopRequested = true;
            if (auto self = weak.lock()) self->stopDictation();
        };
        controller->setDictationObserver(
            {[&, stopRequested, stop, mainQueue] {
                 if (*stopRequested) {
                     controller->stopDictation();
                     return;
                 }
                 live.note("Listening. Press Enter to finish, Ctrl+C to cancel.");
                 if (options->seconds)
                     mainQueue->postAfter(std::chrono::duration_cast<MainQueue::Duration>(
                                              std::chrono::duration<double>(*options->seconds)),
                                          stop);
             },
             [&](const std::string& text) { live.show(text); },
             [&, finished](const DictationEnd& end) {
                 live.clear();
                 outcome = end;
                 // Stops a warm server this run may have started.
                 services.engine->shutdown();
                 // Delivery into the application goes on for up to a second.
                 if (!options->paste || end.kind != DictationEnd::Kind::delivered) finished();
             },
             [&, finished](PasteOutcome result) {
                 pasteOutcome = result;
                 finished();
             }});
        controls = std::make_unique<DictationControls>(stop, [&controller] { controller->cancelDictation(); });
        // The warm server loads its model while the user speaks, not after.
        controller->prepareLocalWhisperIfNeeded();
        controller->startDictation();
    });
    controls.reset();

    if (!displayOpened) {
        streams.err << "tavlo: the X11 display could not be opened\n";
        return 1;
    }
    if (!outcome) return 1;
    switch (outcome->kind) {
    case DictationEnd::Kind::delivered:
        streams.out << printableOnTerminal(outcome->text) << "\n" << std::flush;
        if (!streams.out) {
            streams.err << "tavlo: could not write the dictated text\n";
            return 1;
        }
        {
            int status = 0;
            if (pasteOutcome) {
                streams.err << "delivery: " << name(*pasteOutcome) << "\n";
                if (!isSuccess(*pasteOutcome)) status = 1;
            }
            // The text heard before something went wrong (the microphone went
            // away) is printed, and the dictation still counts as failed.
            if (!outcome->errorMessage.empty()) {
                streams.err << "tavlo: " << printableOnTerminal(outcome->errorMessage) << "\n";
                status = 1;
            }
            return status;
        }
    case DictationEnd::Kind::nothingDelivered:
        return 0;
    case DictationEnd::Kind::cancelled:
        streams.err << "tavlo: dictation cancelled\n";
        return 130;
    case DictationEnd::Kind::failed:
        // A server's message may echo the key or token it was sent.
        streams.err << "tavlo: " << printableOnTerminal(redactSecrets(outcome->errorMessage, settings->store().secretsSeen()))
                    << "\n";
        // Never printed as the result (standard output stays empty, so a
        // script never takes the weaker text for the transcription), but
        // shown to the person at the terminal, labelled for what it is, so
        // the words are at hand without opening the history.
        if (!outcome->keptPreview.empty())
            streams.err << "tavlo: on-device text (not the transcription; kept in your history): "
                        << oneLine(outcome->keptPreview) << "\n";
        return 1;
    }
    return 1;
}

}  // namespace tavlo::cli
