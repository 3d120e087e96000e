#include "engine/whisper/WhisperCommands.h"

#include <algorithm>

namespace tavlo {
namespace fs = std::filesystem;

LocalWhisperWorkFiles LocalWhisperWorkFiles::forAudio(const fs::path& audio) {
    const fs::path folder = audio.parent_path();
    const std::string stem = audio.stem().string();
    LocalWhisperWorkFiles files;
    files.audio = audio;
    files.wav = folder / (stem + ".wav");
    // A ".wav" recording would otherwise be its own conversion target, and
    // clearing the target before converting would delete the recording.
    if (files.wav == audio) files.wav = folder / (stem + "-16k.wav");
    files.outputBase = folder / (stem + "-cpp");
    files.outputText = folder / (stem + "-cpp.txt");
    return files;
}

int whisperThreadCount(unsigned processorCount) {
    const int available = static_cast<int>(processorCount) - 2;
    return std::clamp(available, 4, 8);
}

std::vector<std::string> ffmpegConversionArguments(const fs::path& input, const fs::path& wavOutput) {
    return {"-y", "-loglevel", "error", "-i", input.string(), "-ar", "16000", "-ac", "1", "-c:a", "pcm_s16le",
            wavOutput.string()};
}

std::vector<std::string> whisperCliArguments(const fs::path& model, const LocalWhisperWorkFiles& files,
                                             int threadCount, const std::optional<std::string>& languageCode) {
    // Without "-l" whisper-cli transcribes as English; "auto" lets it detect
    // a language that has no Whisper code of its own, as the server does.
    return {"-m",  model.string(), "-f", files.wav.string(), "-t", std::to_string(threadCount), "-bo", "1", "-bs",
            "1",   "-otxt", "-of", files.outputBase.string(), "-np", "-nt", "-l", languageCode.value_or("auto")};
}

std::vector<std::string> whisperServerArguments(const fs::path& model, int port, int threadCount,
                                                const std::string& languageCode) {
    return {"-m", model.string(), "--host", "127.0.0.1", "--port", std::to_string(port), "-t",
            std::to_string(threadCount), "-bo", "1", "-bs", "1", "-nt", "-l", languageCode};
}

std::map<std::string, std::string> whisperChildEnvironment(const fs::path& homeDirectory) {
    std::string path = "/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin";
    if (!homeDirectory.empty()) path = homeDirectory.string() + "/.local/bin:" + path;
    return {{"PATH", path}};
}

}  // namespace tavlo
