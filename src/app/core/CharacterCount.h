#pragma once
#include <cstddef>
#include <string_view>

namespace tavlo {

// The number of user-perceived characters (grapheme clusters) in UTF-8 text,
// as the diagnostics log counts them: "é" written with a combining accent is
// one character. Invalid UTF-8 counts as U+FFFD.
std::size_t characterCount(std::string_view text);

}  // namespace tavlo
