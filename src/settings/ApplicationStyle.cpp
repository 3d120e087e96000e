#include "settings/ApplicationStyle.h"

#include <string>

#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace tavlo {
namespace {

std::string lowercased(std::string_view text) {
    icu::UnicodeString unicode =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    unicode.toLower(icu::Locale::getRoot());
    std::string utf8;
    unicode.toUTF8String(utf8);
    return utf8;
}

bool containsAny(const std::string& text, std::initializer_list<std::string_view> needles) {
    for (const auto needle : needles)
        if (text.find(needle) != std::string::npos) return true;
    return false;
}

}  // namespace

std::optional<TransformStyle> styleForApplication(std::optional<std::string_view> bundleIdentifier,
                                                  std::optional<std::string_view> appName) {
    std::string joined;
    for (const auto& part : {bundleIdentifier, appName}) {
        if (!part) continue;
        if (!joined.empty()) joined += ' ';
        joined += lowercased(*part);
    }
    if (containsAny(joined, {"mail", "outlook", "gmail"})) return TransformStyle::professional;
    if (containsAny(joined, {"messages", "slack", "discord"})) return TransformStyle::casual;
    return std::nullopt;
}

}  // namespace tavlo
