#pragma once
// Toolkits count text positions differently over the accessibility bus: GTK
// in code points, Qt in UTF-16 units, as the program does. The count of
// characters an element reports, compared with its text, tells which one an
// element uses; these functions convert between its counting and UTF-16.
#include <cstdint>
#include <optional>
#include <string_view>

namespace tavlo::atspi {

enum class OffsetUnit { codePoint, utf16 };

// How an element counts, given its text (UTF-8) and the character count it
// reported for that text. Absent when the count fits neither (the text
// changed in between, or the toolkit counts some other way). When the text
// has nothing outside the Basic Multilingual Plane both countings agree and
// the answer is `codePoint`.
std::optional<OffsetUnit> detectOffsetUnit(std::string_view text, std::int64_t characterCount);

// The UTF-16 offset of a position counted in `unit`; absent when it lies
// outside the text.
std::optional<std::int64_t> utf16Offset(std::string_view text, std::int64_t offset, OffsetUnit unit);

// The position counted in `unit` of a UTF-16 offset; absent when it lies
// outside the text or between the two halves of a surrogate pair.
std::optional<std::int64_t> offsetFromUtf16(std::string_view text, std::int64_t utf16, OffsetUnit unit);

// Lengths of a UTF-8 text; a malformed byte counts as one replacement character.
std::int64_t codePointLength(std::string_view text);
std::int64_t utf16Length(std::string_view text);

}  // namespace tavlo::atspi
