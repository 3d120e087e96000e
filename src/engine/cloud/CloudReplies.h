#pragma once
// What the cloud services' replies mean for the session: the transcript, or
// the message the user sees. Only the HTTP status, the JSON keys "text",
// "error" (with "message" inside it for OpenAI) and "detail", and the body
// text are relied on.
#include <string_view>

#include "engine/DictationResult.h"
#include "platform/HttpClient.h"

namespace tavlo {

// Shown when the hosted service answers 404.
inline constexpr std::string_view kTavloCloudNotAvailableMessage =
    "The Tavlo cloud service is not available yet. Use Own OpenAI key mode or switch back to Local Whisper.";

// OpenAI's reply: on 2xx the normalised "text" (or the normalised body text);
// otherwise a cloudTranscriptionFailed carrying error.message, the "error"
// string or the body text.
DictationResult openAITranscriptionOutcome(const HttpResult& result);

// The hosted service's reply: on 2xx as for OpenAI; 404 means the service is
// not there; otherwise a cloudTranscriptionFailed carrying the "error"
// string, the "detail" string or the body text.
DictationResult tavloCloudTranscriptionOutcome(const HttpResult& result);

}  // namespace tavlo
