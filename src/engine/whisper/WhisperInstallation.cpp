#include "engine/whisper/WhisperInstallation.h"

#include <cstdlib>
#include <system_error>

#include "engine/whisper/WhisperLanguage.h"
#include "engine/whisper/WhisperModelCatalogue.h"

namespace tavlo {
namespace fs = std::filesystem;

namespace {

bool isExecutableFile(const fs::path& path) {
    std::error_code error;
    const auto status = fs::status(path, error);
    if (error || !fs::is_regular_file(status)) return false;
    const auto exec = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    return (status.permissions() & exec) != fs::perms::none;
}

bool isExistingFile(const fs::path& path) {
    std::error_code error;
    return fs::exists(path, error) && !fs::is_directory(path, error);
}

std::vector<fs::path> inUsualFolders(const char* tool) {
    return {fs::path("/opt/homebrew/bin") / tool, fs::path("/usr/local/bin") / tool, fs::path("/usr/bin") / tool};
}

}  // namespace

WhisperSearchLocations WhisperSearchLocations::standard() {
    WhisperSearchLocations locations;
    if (const char* home = std::getenv("HOME"); home && *home) locations.homeDirectory = home;
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (!error && executable.has_parent_path())
        locations.dataDirectory = executable.parent_path().parent_path() / "share" / "tavlo";
    locations.whisperServerCandidates = inUsualFolders("whisper-server");
    locations.whisperCliCandidates = inUsualFolders("whisper-cli");
    locations.ffmpegCandidates = inUsualFolders("ffmpeg");
    return locations;
}

std::vector<fs::path> WhisperSearchLocations::modelFolders() const {
    std::vector<fs::path> folders;
    std::error_code error;
    if (dataDirectory && fs::is_directory(*dataDirectory, error)) folders.push_back(*dataDirectory / "WhisperModels");
    // Without a home directory there is no cache folder (never one relative to the working directory).
    if (!homeDirectory.empty()) folders.push_back(homeDirectory / ".cache" / "whisper.cpp");
    return folders;
}

std::optional<fs::path> firstExecutable(const std::vector<fs::path>& candidates) {
    for (const auto& candidate : candidates)
        if (isExecutableFile(candidate)) return candidate;
    return std::nullopt;
}

std::optional<fs::path> whisperCppModel(const WhisperSearchLocations& locations, std::string_view languageIdentifier) {
    static const std::vector<const char*> english{"ggml-base.en.bin", "ggml-tiny.en.bin", "ggml-base.bin",
                                                  "ggml-tiny.bin"};
    static const std::vector<const char*> multilingual{"ggml-base.bin", "ggml-tiny.bin"};
    const bool forEnglish = localeLanguageCode(languageIdentifier) == "en";
    const auto& names = forEnglish ? english : multilingual;
    const auto folders = locations.modelFolders();
    if (locations.chosenModelFile && !locations.chosenModelFile->empty() &&
        fs::path(*locations.chosenModelFile).filename() == *locations.chosenModelFile &&
        // An English-only model would hear another language as English words.
        (forEnglish || !isEnglishOnlyModelFile(*locations.chosenModelFile)))
        for (const auto& folder : folders)
            if (isExistingFile(folder / *locations.chosenModelFile)) return folder / *locations.chosenModelFile;
    for (const auto& folder : folders)
        for (const char* name : names)
            if (isExistingFile(folder / name)) return folder / name;
    return std::nullopt;
}

std::string whisperServerURL(int port) { return "http://127.0.0.1:" + std::to_string(port) + "/"; }

std::optional<LocalWhisperBackend> chooseLocalWhisperBackend(const WhisperSearchLocations& locations,
                                                             std::string_view languageIdentifier, int serverPort) {
    const auto model = whisperCppModel(locations, languageIdentifier);
    if (!model) return std::nullopt;
    if (!firstExecutable(locations.ffmpegCandidates)) return std::nullopt;
    if (firstExecutable(locations.whisperServerCandidates))
        return WhisperServerBackend{whisperServerURL(serverPort), *model};
    if (const auto cli = firstExecutable(locations.whisperCliCandidates)) return WhisperCliBackend{*cli, *model};
    return std::nullopt;
}

}  // namespace tavlo
