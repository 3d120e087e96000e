#include "engine/whisper/WhisperLanguage.h"

#include <unicode/locid.h>

#include <algorithm>
#include <array>

namespace tavlo {
namespace {

constexpr std::array<std::string_view, 100> kWhisperLanguageCodes{
    "en", "zh", "de", "es", "ru", "ko", "fr", "ja", "pt", "tr", "pl", "ca", "nl", "ar",  "sv", "it", "id",
    "hi", "fi", "vi", "he", "uk", "el", "ms", "cs", "ro", "da", "hu", "ta", "no", "th",  "ur", "hr", "bg",
    "lt", "la", "mi", "ml", "cy", "sk", "te", "fa", "lv", "bn", "sr", "az", "sl", "kn",  "et", "mk", "br",
    "eu", "is", "hy", "ne", "mn", "bs", "kk", "sq", "sw", "gl", "mr", "pa", "si", "km",  "sn", "yo", "so",
    "af", "oc", "ka", "be", "tg", "sd", "gu", "am", "yi", "lo", "uz", "fo", "ht", "ps",  "tk", "nn", "mt",
    "sa", "lb", "my", "bo", "tl", "mg", "as", "tt", "haw", "ln", "ha", "ba", "jw", "su", "yue",
};

}  // namespace

std::optional<std::string> localeLanguageCode(std::string_view localeIdentifier) {
    const std::string identifier(localeIdentifier);
    const icu::Locale locale(identifier.c_str());
    if (locale.isBogus()) return std::nullopt;
    std::string language = locale.getLanguage();
    if (language.empty()) return std::nullopt;
    return language;
}

bool isWhisperLanguageCode(std::string_view code) {
    return std::find(kWhisperLanguageCodes.begin(), kWhisperLanguageCodes.end(), code) != kWhisperLanguageCodes.end();
}

std::optional<std::string> whisperLanguageCode(std::string_view localeIdentifier) {
    auto code = localeLanguageCode(localeIdentifier);
    if (!code) return std::nullopt;
    if (*code == "nb") code = "no";
    if (!isWhisperLanguageCode(*code)) return std::nullopt;
    return code;
}

}  // namespace tavlo
