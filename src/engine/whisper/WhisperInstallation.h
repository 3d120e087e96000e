#pragma once
// Finding a whisper.cpp installation on disk: the whisper-server and
// whisper-cli executables, ffmpeg, and a ggml model file suited to the
// language. Nothing is cached: installing or removing a tool takes effect at
// the next look.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tavlo {

// The loopback port of the warm whisper-server.
inline constexpr int kWarmWhisperServerPort = 18131;

// Where to look. Tests build their own; the program uses `standard()`.
struct WhisperSearchLocations {
    std::filesystem::path homeDirectory;
    // The program's installed data folder (for example /usr/share/tavlo); its
    // "WhisperModels" folder is searched first when the data folder exists.
    std::optional<std::filesystem::path> dataDirectory;
    // Tried in order; the first executable file wins.
    std::vector<std::filesystem::path> whisperServerCandidates;
    std::vector<std::filesystem::path> whisperCliCandidates;
    std::vector<std::filesystem::path> ffmpegCandidates;
    // The model file the user chose ("ggml-small.en.bin"): used wherever it
    // is installed, before the usual order for the language.
    std::optional<std::string> chosenModelFile;

    // HOME, the data folder beside the installed program ("../share/tavlo"
    // from its executable), and the usual install folders of the tools.
    static WhisperSearchLocations standard();

    // The folders searched for models, in order.
    std::vector<std::filesystem::path> modelFolders() const;
};

std::optional<std::filesystem::path> firstExecutable(const std::vector<std::filesystem::path>& candidates);

// The model for the language: the chosen one when it is installed in one of
// the folders (an English-only one only for English); otherwise English prefers the English-only models, and the
// folders are searched one after the other, every name in each.
std::optional<std::filesystem::path> whisperCppModel(const WhisperSearchLocations& locations,
                                                     std::string_view languageIdentifier);

struct WhisperServerBackend {
    std::string serverURL;  // "http://127.0.0.1:PORT/"
    std::filesystem::path model;
    bool operator==(const WhisperServerBackend&) const = default;
};
struct WhisperCliBackend {
    std::filesystem::path executable;
    std::filesystem::path model;
    bool operator==(const WhisperCliBackend&) const = default;
};
using LocalWhisperBackend = std::variant<WhisperServerBackend, WhisperCliBackend>;

std::string whisperServerURL(int port);

// A model and ffmpeg are both required (every transcription converts first);
// the server is preferred over the command-line tool when both exist.
std::optional<LocalWhisperBackend> chooseLocalWhisperBackend(const WhisperSearchLocations& locations,
                                                             std::string_view languageIdentifier,
                                                             int serverPort = kWarmWhisperServerPort);

}  // namespace tavlo
