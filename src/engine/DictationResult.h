#pragma once
// The one outcome of a dictation session: the final transcript (possibly
// empty) or the failure that ended it.
#include <string>
#include <utility>
#include <variant>

#include "engine/DictationEngineError.h"

namespace tavlo {

class DictationResult {
public:
    static DictationResult success(std::string text) { return DictationResult(std::move(text)); }
    static DictationResult failure(EngineError error) { return DictationResult(std::move(error)); }

    bool isSuccess() const noexcept { return std::holds_alternative<std::string>(value_); }
    // Only for a success.
    const std::string& text() const { return std::get<std::string>(value_); }
    // Only for a failure.
    const EngineError& error() const { return std::get<EngineError>(value_); }

    friend bool operator==(const DictationResult&, const DictationResult&) = default;

private:
    explicit DictationResult(std::string text) : value_(std::move(text)) {}
    explicit DictationResult(EngineError error) : value_(std::move(error)) {}

    std::variant<std::string, EngineError> value_;
};

}  // namespace tavlo
