#pragma once
// Accessibility interfaces count text positions in UTF-16 code units, while
// the controller keeps text as UTF-8: these convert between the two.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Accessibility.h"

namespace tavlo {

std::int64_t utf16Length(std::string_view text);

// Whether the range lies inside a text of `length` UTF-16 units.
bool rangeFits(const TextRange& range, std::int64_t length);

// `value` with the UTF-16 range replaced by `replacement`; absent when the
// range does not fit.
std::optional<std::string> replacingUtf16Range(std::string_view value, const TextRange& range,
                                               std::string_view replacement);

}  // namespace tavlo
