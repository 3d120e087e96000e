#pragma once
// What local Whisper passes to its outside programs: work-file names, the
// ffmpeg conversion, the whisper-cli and whisper-server command lines, and the
// environment they run in. Pure functions, so every argument can be checked.
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavlo {

// The files one transcription works with, all beside its recording.
struct LocalWhisperWorkFiles {
    std::filesystem::path audio;       // the recording (or the copy of a file)
    std::filesystem::path wav;         // 16 kHz mono 16-bit conversion
    std::filesystem::path outputBase;  // given to whisper-cli's -of
    std::filesystem::path outputText;  // what whisper-cli writes: base + ".txt"

    static LocalWhisperWorkFiles forAudio(const std::filesystem::path& audio);
};

// Decoding threads: the processors minus two, at least 4 and at most 8.
int whisperThreadCount(unsigned processorCount);

std::vector<std::string> ffmpegConversionArguments(const std::filesystem::path& input,
                                                   const std::filesystem::path& wavOutput);

// Greedy decoding, a text file at the output base, no progress, no
// timestamps; the language, or "auto" (detection) when Whisper has no code for it.
std::vector<std::string> whisperCliArguments(const std::filesystem::path& model, const LocalWhisperWorkFiles& files,
                                             int threadCount, const std::optional<std::string>& languageCode);

std::vector<std::string> whisperServerArguments(const std::filesystem::path& model, int port, int threadCount,
                                                const std::string& languageCode);

// The variables the children get on top of the program's own environment:
// a PATH with the usual tool folders, so tools find their helpers even when
// the program was started from a desktop session with a minimal PATH.
std::map<std::string, std::string> whisperChildEnvironment(const std::filesystem::path& homeDirectory);

}  // namespace tavlo
