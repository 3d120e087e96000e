#include "app/cli/CheckUpdatesCommand.h"

#include <memory>
#include <optional>
#include <ostream>

#include "app/cli/CommandEventLoop.h"
#include "app/cli/TerminalText.h"
#include "platform/linux/http/CurlHttpClient.h"
#include "platform/linux/system/SystemHostEnvironment.h"
#include "updates/UpdateAlert.h"
#include "updates/UpdateChecker.h"
#include "updates/UpdateSources.h"

namespace tavlo::cli {
namespace {

constexpr const char* usage =
    "usage: tavlo check-updates\n"
    "  asks the update servers whether a newer Tavlo has been published\n"
    "  (TAVLO_UPDATE_MANIFEST_URLS, addresses separated by spaces, replaces them)";

AppUpdateResult checkForUpdates(const UpdateSources& sources) {
    std::optional<AppUpdateResult> outcome;
    // Owned here: checks in flight hold the client only weakly, and it is
    // stopped on this thread once the loop has ended.
    std::shared_ptr<CurlHttpClient> httpClient;
    runCommandEventLoop([&](std::shared_ptr<MainQueue> mainQueue, Finished finished) {
        httpClient = std::make_shared<CurlHttpClient>();
        const UpdateChecker checker({httpClient, mainQueue, sources.manifestURLs, sources.running});
        checker.check([&outcome, finished](AppUpdateResult result) {
            outcome = std::move(result);
            finished();
        });
    });
    return std::move(*outcome);
}

}  // namespace

int runCheckUpdates(const std::vector<std::string>& args, Streams streams) {
    if (args.size() == 2 && (args[1] == "--help" || args[1] == "-h")) {
        streams.out << usage << "\n";
        return 0;
    }
    if (args.size() != 1) {
        streams.err << usage << "\n";
        return 2;
    }

    const SystemHostEnvironment environment;
    const AppUpdateResult result = checkForUpdates(updateSources(environment));
    const UpdateAlert alert = updateAlert(result);
    std::ostream& stream = result.kind() == AppUpdateResult::Kind::failed ? streams.err : streams.out;
    stream << printableOnTerminal(alert.message) << "\n" << printableOnTerminal(alert.informativeText) << "\n";
    if (result.kind() == AppUpdateResult::Kind::available)
        stream << "Download: " << result.manifest().downloadURL << "\n";
    stream.flush();
    return result.kind() == AppUpdateResult::Kind::failed ? 1 : 0;
}

}  // namespace tavlo::cli
