#include "platform/linux/atspi/TextOffsets.h"

#include <unicode/utf8.h>

namespace tavlo::atspi {
namespace {

// Calls `visit(utf16UnitsOfThisCodePoint)` for each code point in order;
// stops early when `visit` returns false.
template <typename Visit>
void forEachCodePoint(std::string_view text, Visit visit) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const std::int32_t size = static_cast<std::int32_t>(text.size());
    std::int32_t index = 0;
    while (index < size) {
        UChar32 codePoint = 0;
        U8_NEXT_OR_FFFD(bytes, index, size, codePoint);
        if (!visit(codePoint > 0xFFFF ? 2 : 1)) return;
    }
}

}  // namespace

std::int64_t codePointLength(std::string_view text) {
    std::int64_t count = 0;
    forEachCodePoint(text, [&](int) { return ++count, true; });
    return count;
}

std::int64_t utf16Length(std::string_view text) {
    std::int64_t count = 0;
    forEachCodePoint(text, [&](int units) { return count += units, true; });
    return count;
}

std::optional<OffsetUnit> detectOffsetUnit(std::string_view text, std::int64_t characterCount) {
    if (characterCount == codePointLength(text)) return OffsetUnit::codePoint;
    if (characterCount == utf16Length(text)) return OffsetUnit::utf16;
    return std::nullopt;
}

std::optional<std::int64_t> utf16Offset(std::string_view text, std::int64_t offset, OffsetUnit unit) {
    if (offset < 0) return std::nullopt;
    if (unit == OffsetUnit::utf16) {
        if (offset > utf16Length(text)) return std::nullopt;
        return offset;
    }
    std::int64_t seen = 0, units = 0;
    forEachCodePoint(text, [&](int width) {
        if (seen == offset) return false;
        ++seen;
        units += width;
        return true;
    });
    if (seen != offset) return std::nullopt;
    return units;
}

std::optional<std::int64_t> offsetFromUtf16(std::string_view text, std::int64_t utf16, OffsetUnit unit) {
    if (utf16 < 0) return std::nullopt;
    std::int64_t codePoints = 0, units = 0;
    forEachCodePoint(text, [&](int width) {
        if (units >= utf16) return false;
        ++codePoints;
        units += width;
        return true;
    });
    if (units != utf16) return std::nullopt;  // past the end, or inside a pair
    return unit == OffsetUnit::utf16 ? units : codePoints;
}

}  // namespace tavlo::atspi
