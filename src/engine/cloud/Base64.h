#pragma once
#include <string>
#include <string_view>

namespace tavlo {

// Standard Base64 (alphabet "A-Z a-z 0-9 + /", "=" padding) on one line, as
// JSON bodies carry binary data.
std::string base64Encoded(std::string_view bytes);

}  // namespace tavlo
