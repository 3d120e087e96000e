#pragma once
// The few Unicode operations the hub's texts need, on UTF-8 strings.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tavlo::hubtext {

// Full lower-case mapping without a locale.
std::string lowerCased(std::string_view text);

// The pieces between runs of white space and line breaks, without empty ones.
std::vector<std::string> words(std::string_view text);

// The pieces between line-break characters (line feed, carriage return, next
// line, line and paragraph separators); a CR LF pair gives an empty piece.
std::vector<std::string> lines(std::string_view text);

// Length in UTF-16 code units.
std::size_t utf16Length(std::string_view text);

// The text without the line that holds the UTF-16 position `position`
// (clamped to the text), its line break included. A position after a final
// line break names the empty last line, so nothing is removed.
std::string withoutLineAt(std::string_view text, std::size_t position);

}  // namespace tavlo::hubtext
