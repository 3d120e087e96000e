#pragma once
// Messages from servers can echo what they were sent, the Authorization
// header included. Before a message is written to the log or shown, every
// secret it carries is replaced by "[redacted]".
#include <string>
#include <string_view>
#include <vector>

namespace tavlo {

inline constexpr std::string_view kRedactedSecret = "[redacted]";

// The message with each of `secrets` (the stored key and token; too short or
// empty ones are ignored) and the credential after every "Bearer " (in any
// letter case) replaced by "[redacted]".
std::string redactSecrets(std::string_view message, const std::vector<std::string>& secrets = {});

}  // namespace tavlo
