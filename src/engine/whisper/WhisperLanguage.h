#pragma once
// The language codes whisper.cpp understands, and the code to pass for one of
// the program's locale identifiers ("en_US", "nb-NO", "zh_Hans_CN").
#include <optional>
#include <string>
#include <string_view>

namespace tavlo {

// The language part of a locale identifier, lower-case; absent when the
// identifier has none.
std::optional<std::string> localeLanguageCode(std::string_view localeIdentifier);

// The code for Whisper's "-l" option, or absent when Whisper does not know
// the language (it then chooses by itself). Norwegian Bokmål is "no" there.
std::optional<std::string> whisperLanguageCode(std::string_view localeIdentifier);

// Whether Whisper accepts this code (one of its 100 languages).
bool isWhisperLanguageCode(std::string_view code);

}  // namespace tavlo
