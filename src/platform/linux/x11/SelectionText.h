#pragma once
// The text encodings a selection travels in. Clients asking for STRING get
// Latin-1, and only when the text fits it (a lossy copy would paste
// something else than what was dictated). Text read from another client is
// untrusted: malformed UTF-8 becomes U+FFFD.
#include <optional>
#include <string>
#include <string_view>

namespace tavlo::x11 {

// The Latin-1 bytes of UTF-8 text; absent when a character lies outside it.
std::optional<std::string> latin1FromUtf8(std::string_view utf8);
std::string utf8FromLatin1(std::string_view latin1);
// The text with every malformed sequence replaced by U+FFFD.
std::string wellFormedUtf8(std::string_view bytes);

}  // namespace tavlo::x11
