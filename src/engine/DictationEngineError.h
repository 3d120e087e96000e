#pragma once
// The engine's own failures, each with the fixed text the user sees. Thrown by
// `start` and carried by failed session results.
#include <exception>
#include <string>
#include <variant>

#include "platform/PlatformError.h"

namespace tavlo {

class DictationEngineError : public std::exception {
public:
    enum class Case {
        localWhisperFailed,
        cloudTranscriptionFailed,
        speechUnavailable,
        recognitionDenied,
        microphoneDenied,
        noInputAvailable,
        onDeviceRecognitionUnavailable,
        localWhisperUnavailable,
        cloudTranscriptionUnavailable,
    };

    static DictationEngineError localWhisperFailed(std::string message);
    static DictationEngineError cloudTranscriptionFailed(std::string message);
    static DictationEngineError speechUnavailable();
    static DictationEngineError recognitionDenied();
    static DictationEngineError microphoneDenied();
    static DictationEngineError noInputAvailable();
    static DictationEngineError onDeviceRecognitionUnavailable();
    static DictationEngineError localWhisperUnavailable();
    // With the reason in words (what is missing and what to do about it).
    static DictationEngineError localWhisperUnavailable(std::string reason);
    static DictationEngineError cloudTranscriptionUnavailable();

    Case errorCase() const noexcept { return case_; }
    // The text of the failure cases that carry one; empty otherwise.
    const std::string& payload() const noexcept { return payload_; }
    const std::string& errorDescription() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    friend bool operator==(const DictationEngineError& a, const DictationEngineError& b) {
        return a.case_ == b.case_ && a.payload_ == b.payload_;
    }

private:
    DictationEngineError(Case errorCase, std::string payload);

    Case case_;
    std::string payload_;
    std::string description_;
};

// Any failure a session can end with: the engine's own, or a platform error
// passed through unchanged.
using EngineError = std::variant<DictationEngineError, PlatformError>;

std::string errorDescription(const EngineError& error);

}  // namespace tavlo
