#pragma once
#include <string>
#include <string_view>

namespace tavlo {

// The text without leading and trailing Unicode white space (spaces, tabs, line
// feeds, no-break spaces, ...). Bytes that are not valid UTF-8 count as text.
std::string trimmedWhitespaceAndNewlines(std::string_view text);

}  // namespace tavlo
