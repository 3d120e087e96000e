#pragma once
// Replies that must never become a transcript, whatever their status says: a
// redirect (the recording is not sent on to another address) and a web page
// answered with success (a captive portal or a proxy's error page).
#include <optional>
#include <string>

#include "platform/HttpClient.h"

namespace tavlo {

// The message for such a reply, naming its status; nothing for any other.
std::optional<std::string> unusableCloudReply(const HttpResult& result);

}  // namespace tavlo
