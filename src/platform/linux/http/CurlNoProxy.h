#pragma once
// The hosts libcurl must reach directly: loopback addresses never go through a
// proxy (local servers such as Whisper's), and the user's own exceptions stay.
#include <string>

namespace tavlo {

std::string curlNoProxyList();

}  // namespace tavlo
