#pragma once
#include <string>
#include <string_view>

namespace tavlo {

// The UTF-8 text without white space and line breaks (the Unicode separators,
// tab, line feed, vertical tab, form feed, carriage return and next line) at
// either end. Invalid UTF-8 is read as U+FFFD.
std::string trimWhitespaceAndLineBreaks(std::string_view text);

}  // namespace tavlo
