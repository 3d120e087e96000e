#include "engine/support/TextTrimming.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace tavlo {

std::string trimWhitespaceAndLineBreaks(std::string_view text) {
    const icu::UnicodeString source = icu::UnicodeString::fromUTF8(text);
    auto strip = [](UChar32 c) {
        return (c >= 0x09 && c <= 0x0D) || c == 0x85 || (U_GET_GC_MASK(c) & U_GC_Z_MASK) != 0;
    };
    int32_t start = 0;
    int32_t end = source.length();
    while (start < end && strip(source.char32At(start))) start = source.moveIndex32(start, 1);
    while (end > start) {
        int32_t last = source.moveIndex32(end, -1);
        if (!strip(source.char32At(last))) break;
        end = last;
    }
    std::string out;
    source.tempSubStringBetween(start, end).toUTF8String(out);
    return out;
}

}  // namespace tavlo
