#pragma once
// Short reasons for the user when whisper.cpp's tools end before doing their
// work, read from what they printed: the raw lines name internals ("failed to
// initialize whisper context") rather than the file or set-up to fix.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tavlo {

// The model could not be loaded (missing, truncated, not a model).
std::string whisperModelNotLoaded(const std::filesystem::path& model);

// Why a whisper-server ended before it listened, from its log; nothing when
// the log does not tell.
std::optional<std::string> whisperServerStartFailure(std::string_view log, const std::filesystem::path& model,
                                                     int port);

// The local server stopped answering or working while a request waited.
inline constexpr const char* kWhisperServerStalled = "The local Whisper server stopped responding.";

}  // namespace tavlo
