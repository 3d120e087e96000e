#pragma once
// Whether a text from the network can be handed to the desktop as a web page
// to open.
#include <string_view>

namespace tavlo {

// An absolute http or https address with a host: "scheme://host[:port]" and
// an optional path, query and fragment, written in the characters web
// addresses allow (percent escapes included; no spaces, no control or
// non-ASCII characters). Addresses carrying a user name are refused: a
// download page needs none, and "https://trusted.example@other.example/" only
// serves to mislead. Other schemes are refused because the address comes from
// a server and would otherwise open local files or arbitrary handlers.
bool isWebAddress(std::string_view text);

}  // namespace tavlo
