#include "app/core/DictationSpacing.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utf8.h>

#include "app/core/Utf16Range.h"

namespace tavlo {
namespace {

constexpr UChar32 noCharacter = -1;

UChar32 firstCodePoint(std::string_view text) {
    if (text.empty()) return noCharacter;
    std::int32_t offset = 0;
    UChar32 c = 0;
    U8_NEXT(reinterpret_cast<const std::uint8_t*>(text.data()), offset, static_cast<std::int32_t>(text.size()), c);
    return c < 0 ? noCharacter : c;
}

UChar32 lastCodePoint(std::string_view text) {
    if (text.empty()) return noCharacter;
    auto offset = static_cast<std::int32_t>(text.size());
    UChar32 c = 0;
    U8_PREV(reinterpret_cast<const std::uint8_t*>(text.data()), 0, offset, c);
    return c < 0 ? noCharacter : c;
}

// Writing systems that put no spaces between words or sentences.
bool isWrittenWithoutSpaces(UChar32 c) {
    UErrorCode status = U_ZERO_ERROR;
    switch (uscript_getScript(c, &status)) {
    case USCRIPT_HAN:
    case USCRIPT_HIRAGANA:
    case USCRIPT_KATAKANA:
    case USCRIPT_THAI:
    case USCRIPT_LAO:
    case USCRIPT_KHMER:
    case USCRIPT_MYANMAR:
    case USCRIPT_TIBETAN:
        return true;
    default:
        return false;
    }
}

bool isWord(UChar32 c) { return c != noCharacter && u_isalnum(c) && !isWrittenWithoutSpaces(c); }

// What may close a sentence, a clause or a bracket right after a word.
bool closesAfterWord(UChar32 c) {
    switch (c) {
    case U'.': case U'!': case U'?': case U',': case U';': case U':': case U')': case U']':
    case U'\u2026':  // …
    case U'\u201D':  // ”
    case U'\u2019':  // ’
    case U'\u00BB':  // »
        return true;
    default:
        return false;
    }
}

}  // namespace

bool needsSpaceBetween(std::string_view before, std::string_view next) {
    const UChar32 last = lastCodePoint(before);
    return isWord(firstCodePoint(next)) && (isWord(last) || closesAfterWord(last));
}

std::optional<std::string> textBeforeCaret(std::string_view value, const TextRange& selection) {
    const std::int64_t length = utf16Length(value);
    if (!rangeFits(selection, length)) return std::nullopt;
    // Cutting away everything from the caret leaves what precedes it.
    return replacingUtf16Range(value, {selection.location, length - selection.location}, "");
}

}  // namespace tavlo
