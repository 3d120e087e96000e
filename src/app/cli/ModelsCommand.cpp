#include "app/cli/ModelsCommand.h"

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <system_error>

#include "app/cli/CommandEventLoop.h"
#include "app/cli/DownloadProgressText.h"
#include "app/cli/ModelCatalogueFile.h"
#include "app/cli/StopSignals.h"
#include "app/cli/TerminalText.h"
#include "app/cli/UserSettings.h"
#include "engine/whisper/WhisperInstallation.h"
#include "engine/whisper/WhisperModelDownload.h"
#include "platform/linux/files/StatvfsDiskSpace.h"
#include "platform/linux/http/CurlFileDownloader.h"
#include "platform/linux/system/SystemHostEnvironment.h"

namespace tavlo::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* usage =
    "usage: tavlo models                  list the Whisper models, their sizes and which are installed\n"
    "       tavlo models download NAME    download one into ~/.cache/whisper.cpp\n"
    "       tavlo models remove NAME      delete a downloaded one";

std::string modelNames(const WhisperModelCatalogue& catalogue) {
    std::string names;
    for (const auto& model : catalogue) names += (names.empty() ? "" : ", ") + model.name;
    return names;
}

std::uint64_t plainFileSize(const fs::path& path) {
    std::error_code error;
    if (!fs::is_regular_file(fs::symlink_status(path, error))) return 0;
    const auto size = fs::file_size(path, error);
    return error ? 0 : size;
}

WhisperSearchLocations searchLocations(const SettingsStore& store) {
    auto locations = WhisperSearchLocations::standard();
    if (const auto chosen = store.whisperModel(); chosen && isWhisperModelName(*chosen))
        locations.chosenModelFile = whisperModelFileName(*chosen);
    return locations;
}

int listModels(const WhisperModelCatalogue& catalogue, const SettingsStore& store, const fs::path& folder,
               Streams streams) {
    const auto locations = searchLocations(store);
    const auto inUse = whisperCppModel(locations, store.speechLanguageIdentifier());
    const auto chosen = store.whisperModel();
    // Names left-aligned, sizes right-aligned, each column as wide as its widest entry.
    std::size_t width = 5, sizeWidth = 4;
    for (const auto& model : catalogue) {
        width = std::max(width, model.name.size());
        sizeWidth = std::max(sizeWidth, byteSizeText(model.bytes).size());
    }
    auto row = [&](const std::string& name, const std::string& size, const std::string& state) {
        streams.out << name << std::string(width + 2 - name.size(), ' ') << std::string(sizeWidth - size.size(), ' ')
                    << size << "  " << state << "\n";
    };
    row("MODEL", "SIZE", "STATE");
    for (const auto& model : catalogue) {
        std::string state;
        for (const auto& modelFolder : locations.modelFolders()) {
            std::error_code error;
            if (fs::exists(modelFolder / model.fileName(), error)) {
                state = "installed";
                if (inUse == modelFolder / model.fileName()) state += ", in use";
                break;
            }
        }
        if (state.empty()) {
            const std::uint64_t partial = plainFileSize(partialModelFile(folder, model));
            state = partial > 0 ? "partly downloaded (" + byteSizeText(partial) + ")" : "-";
        }
        if (chosen == model.name) state += state == "-" ? " (chosen, not installed)" : ", chosen";
        row(model.name, byteSizeText(model.bytes), state);
    }
    return 0;
}

int downloadModel(const WhisperModel& model, const SettingsStore& store, const fs::path& folder, Streams streams) {
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    DownloadProgressText progressText(streams.err, terminal, model.name);
    const std::string baseURL = store.whisperModelBaseURL();
    streams.err << "Downloading " << model.name << " (" << byteSizeText(model.bytes) << ") from "
                << printableOnTerminal(whisperModelURL(baseURL, model)) << "\n"
                << std::flush;

    int status = 1;
    std::shared_ptr<WhisperModelDownload> download;
    std::unique_ptr<StopSignals> stopSignals;
    int stopSignal = 0;
    auto downloader = std::make_shared<CurlFileDownloader>();
    runCommandEventLoop([&](std::shared_ptr<MainQueue> mainQueue, Finished finished) {
        // Ctrl+C stops the transfer; what arrived stays for the next run.
        stopSignals = std::make_unique<StopSignals>([&](int signal) {
            if (stopSignal == 0) stopSignal = signal;
            if (download) download->cancel();
        });
        WhisperModelDownloadPorts ports{mainQueue, downloader, std::make_shared<StatvfsDiskSpace>()};
        download = WhisperModelDownload::start(
            ports, model, folder, baseURL, [&](const WhisperModelDownloadProgress& progress) { progressText.show(progress); },
            [&, finished](const WhisperModelDownloadOutcome& outcome) {
                progressText.end();
                using Kind = WhisperModelDownloadOutcome::Kind;
                const std::string message = printableOnTerminal(outcome.message);
                if (outcome.kind == Kind::installed || outcome.kind == Kind::alreadyInstalled) {
                    streams.out << message << "\n";
                    status = 0;
                } else {
                    streams.err << "tavlo: " << message << "\n";
                    status = outcome.kind == Kind::cancelled && stopSignal != 0 ? 128 + stopSignal : 1;
                }
                finished();
            });
    });
    stopSignals.reset();
    download.reset();
    return status;
}

int removeModel(const WhisperModel& model, const fs::path& folder, Streams streams) {
    bool removed = false;
    for (const fs::path& file : {folder / model.fileName(), partialModelFile(folder, model)}) {
        std::error_code error;
        if (!fs::exists(fs::symlink_status(file, error))) continue;
        if (!fs::remove(file, error) || error) {
            streams.err << "tavlo: could not remove " << file.string() << " (" << error.message() << ")\n";
            return 1;
        }
        removed = true;
    }
    if (!removed) {
        streams.err << "tavlo: " << model.name << " is not in " << folder.string() << "\n";
        return 1;
    }
    streams.out << "Removed " << model.name << " from " << folder.string() << "\n";
    return 0;
}

}  // namespace

int runModels(const std::vector<std::string>& args, Streams streams) {
    if (args.size() == 2 && (args[1] == "--help" || args[1] == "-h")) {
        streams.out << usage << "\n";
        return 0;
    }
    const bool list = args.size() == 1;
    const bool named = args.size() == 3 && (args[1] == "download" || args[1] == "remove");
    if (!list && !named) {
        streams.err << usage << "\n";
        return 2;
    }
    const SystemHostEnvironment host;
    std::string problem;
    const auto catalogue = whisperModelCatalogue(host, problem);
    if (!catalogue) {
        streams.err << "tavlo: " << printableOnTerminal(problem) << "\n";
        return 1;
    }
    const std::string home = host.homeDirectory();
    if (home.empty()) {
        streams.err << "tavlo: the home folder is not known (HOME is not set)\n";
        return 1;
    }
    const fs::path folder = whisperModelDownloadFolder(home);
    auto settings = openUserSettings(streams.err);
    if (list) return listModels(*catalogue, settings->store(), folder, streams);

    const WhisperModel* model = findWhisperModel(*catalogue, args[2]);
    if (!model) {
        streams.err << "tavlo: unknown model \"" << printableOnTerminal(args[2])
                    << "\"; the models are: " << modelNames(*catalogue) << "\n";
        return 2;
    }
    if (args[1] == "download") return downloadModel(*model, settings->store(), folder, streams);
    return removeModel(*model, folder, streams);
}

}  // namespace tavlo::cli
