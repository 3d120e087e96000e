#include "hub/model/UnicodeText.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace tavlo::hubtext {
namespace {

icu::UnicodeString fromUtf8(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string toUtf8(const icu::UnicodeString& text) {
    std::string result;
    text.toUTF8String(result);
    return result;
}

bool isLineBreak(UChar32 c) { return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029; }

// Splits at every code point for which `separates` holds.
template <class Predicate> std::vector<std::string> split(std::string_view text, Predicate separates, bool keepEmpty) {
    const icu::UnicodeString unicode = fromUtf8(text);
    std::vector<std::string> pieces;
    int32_t start = 0;
    for (int32_t i = 0; i < unicode.length();) {
        const UChar32 c = unicode.char32At(i);
        const int32_t next = i + U16_LENGTH(c);
        if (separates(c)) {
            if (keepEmpty || i > start) pieces.push_back(toUtf8(icu::UnicodeString(unicode, start, i - start)));
            start = next;
        }
        i = next;
    }
    if (keepEmpty || unicode.length() > start)
        pieces.push_back(toUtf8(icu::UnicodeString(unicode, start, unicode.length() - start)));
    return pieces;
}

}  // namespace

std::string lowerCased(std::string_view text) {
    icu::UnicodeString unicode = fromUtf8(text);
    unicode.toLower(icu::Locale::getRoot());
    return toUtf8(unicode);
}

std::vector<std::string> words(std::string_view text) {
    return split(text, [](UChar32 c) { return u_isUWhiteSpace(c) != 0; }, false);
}

std::vector<std::string> lines(std::string_view text) { return split(text, isLineBreak, true); }

std::size_t utf16Length(std::string_view text) { return static_cast<std::size_t>(fromUtf8(text).length()); }

std::string withoutLineAt(std::string_view text, std::size_t position) {
    icu::UnicodeString unicode = fromUtf8(text);
    const int32_t length = unicode.length();
    const int32_t p = position > static_cast<std::size_t>(length) ? length : static_cast<int32_t>(position);

    // The line starts after the line break before p.
    int32_t start = p;
    while (start > 0 && !isLineBreak(unicode.charAt(start - 1))) --start;
    // It ends after its own line break (CR LF counts as one).
    int32_t end = p;
    while (end < length && !isLineBreak(unicode.charAt(end))) ++end;
    if (end < length) {
        const bool crlf = unicode.charAt(end) == 0x0D && end + 1 < length && unicode.charAt(end + 1) == 0x0A;
        end += crlf ? 2 : 1;
    }
    unicode.remove(start, end - start);
    return toUtf8(unicode);
}

}  // namespace tavlo::hubtext
