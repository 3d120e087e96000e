#include "app/cli/TranscribeCommand.h"

#include <filesystem>
#include <ostream>

#include "app/cli/CommandEventLoop.h"
#include "app/cli/StopSignals.h"
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

namespace tavlo::cli {

int runTranscribe(const std::vector<std::string>& args, Streams streams) {
    if (args.size() != 2 || args[1].empty()) {
        streams.err << "usage: tavlo transcribe FILE\n";
        return 2;
    }
    // Relative to where the command was started, like any file argument.
    std::error_code ignored;
    const std::filesystem::path source = std::filesystem::absolute(args[1], ignored);

    auto settings = openUserSettings(streams.err);
    SystemHostEnvironment host;
    // The command's own messages go to standard error; the log file gets the
    // program's trail without repeating it there.
    DiagnosticsLog log(stateHome(host) / "tavlo" / "Tavlo.log", DiagnosticsLog::defaultClock(),
                       [](std::string_view) {});
    log.setSecrets([&store = settings->store()] { return store.secretsSeen(); });
    // Without a desktop there is no clipboard to share; the text is printed.
    auto pasteboard = std::make_shared<InMemoryPasteboard>();

    int status = 1;
    // Owned here rather than by the callbacks, which the engine keeps.
    RecognitionServices services;
    std::shared_ptr<AppDelegate> controller;
    std::unique_ptr<StopSignals> stopSignals;
    bool stopped = false;
    runCommandEventLoop([&](std::shared_ptr<MainQueue> mainQueue, Finished finished) {
        // Ctrl+C or a stop request ends the transcription with its work files
        // removed and any helper program stopped, not half-way.
        stopSignals = std::make_unique<StopSignals>([&, finished](int signal) {
            if (stopped) return;
            stopped = true;
            streams.err << "tavlo: stopped; no transcript was saved\n";
            status = 128 + signal;
            if (services.engine) services.engine->shutdown();
            finished();
        });
        services = makeFileRecognitionServices(mainQueue, host, &settings->store());
        AppDelegatePorts ports = commandControllerPorts(settings->store(), services, mainQueue, pasteboard, host, log);
        controller = AppDelegate::create(std::move(ports));

        // Nor the key or token a server's message may echo.
        auto shown = [&store = settings->store()](const std::string& message) {
            return redactSecrets(message, store.secretsSeen());
        };
        controller->transcribeFile(source, [&, finished, shown](const FileTranscriptionResult& result) {
            if (stopped) return;  // a cancellation the stop itself caused
            // The transcript and the messages come from a server or a tool:
            // their control characters are not let loose on the terminal.
            if (result.isSuccess()) {
                streams.out << printableOnTerminal(result.output().text) << "\n" << std::flush;
                streams.err << "tavlo: transcript saved to " << result.output().outputURL.string() << "\n";
                status = 0;
            } else if (auto copied = pasteboard->string()) {
                // The text exists but its file could not be written: keep the
                // text where the user sees it.
                streams.out << printableOnTerminal(*copied) << "\n" << std::flush;
                streams.err << "tavlo: the transcript could not be saved: "
                            << printableOnTerminal(shown(errorDescription(result.error()))) << "\n";
            } else {
                streams.err << "tavlo: " << printableOnTerminal(shown(errorDescription(result.error()))) << "\n";
            }
            // Stops a warm server this run may have started.
            services.engine->shutdown();
            finished();
        });
    });
    stopSignals.reset();
    return status;
}

}  // namespace tavlo::cli
