#pragma once
// What a file transcription hands back to its caller: where the transcript of
// which file was saved and what it says, or why there is none.
#include <filesystem>
#include <string>
#include <utility>
#include <variant>

#include "engine/DictationEngineError.h"

namespace tavlo {

struct FileTranscriptionOutput {
    std::filesystem::path sourceURL;
    std::filesystem::path outputURL;
    std::string text;
    bool operator==(const FileTranscriptionOutput&) const = default;
};

class FileTranscriptionResult {
public:
    static FileTranscriptionResult success(FileTranscriptionOutput output) {
        return FileTranscriptionResult(std::move(output));
    }
    static FileTranscriptionResult failure(EngineError error) { return FileTranscriptionResult(std::move(error)); }

    bool isSuccess() const noexcept { return std::holds_alternative<FileTranscriptionOutput>(value_); }
    // Only for a success.
    const FileTranscriptionOutput& output() const { return std::get<FileTranscriptionOutput>(value_); }
    // Only for a failure.
    const EngineError& error() const { return std::get<EngineError>(value_); }

private:
    explicit FileTranscriptionResult(FileTranscriptionOutput output) : value_(std::move(output)) {}
    explicit FileTranscriptionResult(EngineError error) : value_(std::move(error)) {}

    std::variant<FileTranscriptionOutput, EngineError> value_;
};

// A refusal or failure of the file flow itself, with the message the user sees.
PlatformError fileTranscriptionError(const std::string& message);

}  // namespace tavlo
