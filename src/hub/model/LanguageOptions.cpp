#include "hub/model/LanguageOptions.h"

#include <algorithm>
#include <array>

#include <memory>

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace tavlo {
namespace {

constexpr std::array<std::string_view, 107> fixedCandidates{
    // English variants.
    "en_GB", "en_US", "en_AU", "en_CA", "en_IE", "en_IN", "en_NZ", "en_ZA",
    // The languages Whisper knows.
    "zh", "de", "es", "ru", "ko", "fr", "ja", "pt", "tr", "pl", "ca", "nl", "ar", "sv", "it", "id", "hi", "fi",
    "vi", "he", "uk", "el", "ms", "cs", "ro", "da", "hu", "ta", "no", "th", "ur", "hr", "bg", "lt", "la", "mi",
    "ml", "cy", "sk", "te", "fa", "lv", "bn", "sr", "az", "sl", "kn", "et", "mk", "br", "eu", "is", "hy", "ne",
    "mn", "bs", "kk", "sq", "sw", "gl", "mr", "pa", "si", "km", "sn", "yo", "so", "af", "oc", "ka", "be", "tg",
    "sd", "gu", "am", "yi", "lo", "uz", "fo", "ht", "ps", "tk", "nn", "mt", "sa", "lb", "my", "bo", "tl", "mg",
    "as", "tt", "haw", "ln", "ha", "ba", "jw", "su", "yue"};

}  // namespace

std::span<const std::string_view> fixedLanguageCandidates() { return fixedCandidates; }

std::string languageDisplayName(std::string_view identifier, std::string_view displayLocale) {
    const std::string id(identifier);
    const icu::Locale locale(id.c_str());
    const icu::Locale display(std::string(displayLocale).c_str());
    icu::UnicodeString name;
    if (locale.isBogus() || id.empty()) return id;
    locale.getDisplayName(display, name);
    std::string title;
    name.toUTF8String(title);
    return title.empty() ? id : title;
}

std::vector<LanguageOption> languageOptions(std::string_view draftLanguage, std::string_view userLocale) {
    std::vector<std::string_view> candidates{draftLanguage, userLocale};
    candidates.insert(candidates.end(), fixedCandidates.begin(), fixedCandidates.end());

    std::vector<LanguageOption> options;
    options.reserve(candidates.size());
    for (const std::string_view candidate : candidates) {
        const bool seen = std::any_of(options.begin(), options.end(),
                                      [&](const LanguageOption& option) { return option.identifier == candidate; });
        if (seen) continue;
        options.push_back({std::string(candidate), languageDisplayName(candidate, userLocale)});
    }
    // After the draft's language and the user's own, alphabetical by name in
    // the user's language, so a language is found where a reader looks.
    const std::size_t head = std::min<std::size_t>(options.size(), draftLanguage == userLocale ? 1 : 2);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(
        icu::Collator::createInstance(icu::Locale(std::string(userLocale).c_str()), status));
    if (U_FAILURE(status) || !collator) return options;
    std::stable_sort(options.begin() + std::ptrdiff_t(head), options.end(),
                     [&](const LanguageOption& a, const LanguageOption& b) {
                         UErrorCode compared = U_ZERO_ERROR;
                         return collator->compareUTF8(a.title, b.title, compared) == UCOL_LESS;
                     });
    return options;
}

}  // namespace tavlo
