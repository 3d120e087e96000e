#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace tavlo {

// The number of user-perceived characters (grapheme clusters) in UTF-8 text,
// as the diagnostics log counts them: "é" written with a combining accent is
// one character. Invalid UTF-8 counts as U+FFFD.
std::size_t characterCount(std::string_view text);

// The first `count` characters of the text (all of it when it is shorter).
std::string leadingCharacters(std::string_view text, std::size_t count);

}  // namespace tavlo
