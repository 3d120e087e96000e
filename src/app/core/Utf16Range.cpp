#include "app/core/Utf16Range.h"

#include <unicode/unistr.h>

namespace tavlo {
namespace {

icu::UnicodeString fromUtf8(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

}  // namespace

std::int64_t utf16Length(std::string_view text) { return fromUtf8(text).length(); }

bool rangeFits(const TextRange& range, std::int64_t length) {
    return range.location >= 0 && range.length >= 0 && range.location <= length &&
           range.length <= length - range.location;
}

std::optional<std::string> replacingUtf16Range(std::string_view value, const TextRange& range,
                                               std::string_view replacement) {
    icu::UnicodeString unicode = fromUtf8(value);
    if (!rangeFits(range, unicode.length())) return std::nullopt;
    unicode.replace(static_cast<int32_t>(range.location), static_cast<int32_t>(range.length), fromUtf8(replacement));
    std::string result;
    unicode.toUTF8String(result);
    return result;
}

}  // namespace tavlo
