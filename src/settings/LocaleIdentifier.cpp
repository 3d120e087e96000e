#include "settings/LocaleIdentifier.h"

#include <array>

#include <unicode/uloc.h>

namespace tavlo {
namespace {

constexpr std::string_view defaultIdentifier = "en_US";

}  // namespace

std::string currentLocaleIdentifier(const HostEnvironment& host) {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const auto value = host.variable(name);
        if (!value || value->empty()) continue;
        std::string identifier = value->substr(0, value->find_first_of(".@"));
        if (identifier.empty() || identifier == "C" || identifier == "POSIX")
            return std::string(defaultIdentifier);
        return identifier;
    }
    return std::string(defaultIdentifier);
}

std::optional<std::string> languageCode(std::string_view identifier) {
    const std::string id(identifier);
    std::array<char, ULOC_LANG_CAPACITY> language{};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        uloc_getLanguage(id.c_str(), language.data(), static_cast<int32_t>(language.size()), &status);
    if (U_FAILURE(status) || length <= 0) return std::nullopt;
    return std::string(language.data(), static_cast<std::size_t>(length));
}

}  // namespace tavlo
