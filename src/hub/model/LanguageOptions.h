#pragma once
// The speech languages offered on Home: the draft's language first, then the
// user's locale, the common English variants and Whisper's languages, each
// once, titled in the user's language.
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavlo {

struct LanguageOption {
    std::string identifier;
    std::string title;
    bool operator==(const LanguageOption&) const = default;
};

// The fixed candidates after the draft's language and the user's locale:
// eight English variants, then the 99 languages Whisper knows.
std::span<const std::string_view> fixedLanguageCandidates();

// The display name of a locale identifier in the display locale, or the
// identifier itself when the locale has no name for it.
std::string languageDisplayName(std::string_view identifier, std::string_view displayLocale);

// The draft language, the user's locale, then the fixed candidates sorted by
// their names in the user's language; without repeats, keeping the first.
std::vector<LanguageOption> languageOptions(std::string_view draftLanguage, std::string_view userLocale);

}  // namespace tavlo
