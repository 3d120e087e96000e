#pragma once
// The two upload requests of the cloud back end, built byte for byte: a
// multipart form for OpenAI's transcription endpoint (the user's own key) and
// a JSON body with the audio in Base64 for the hosted service.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/HttpClient.h"

namespace tavlo {

// Optional hints sent with the audio.
struct CloudTranscriptionHints {
    std::optional<std::string> language;  // a Whisper language code, such as "fr"
    std::optional<std::string> prompt;    // vocabulary the model should expect
};

// At most this many dictionary terms go into the prompt, to keep it short.
inline constexpr std::size_t kCloudPromptTermLimit = 80;

// The dictionary terms trimmed of white space and line breaks, empty ones
// dropped, the first kCloudPromptTermLimit of the rest joined with ", ";
// absent when none is left.
std::optional<std::string> cloudPrompt(const std::vector<std::string>& contextualStrings);

// The MIME type OpenAI is told for the file, by its extension in any case;
// audio/wav for anything unknown (or no extension).
std::string audioMimeType(const std::filesystem::path& file);

// A new boundary for the OpenAI form: "TavloOpenAIBoundary-" + a random UUID.
std::string openAIFormBoundary();

// The file name as it may stand in a form part's quoted filename: quotes and
// line breaks are percent-encoded, as browsers do, so a strange name cannot
// end the header early.
std::string formDataFileName(std::string_view fileName);

// POST to OpenAI with the fields model, response_format, language and prompt
// (the last two only when present) and the file, in this order.
HttpRequest openAITranscriptionRequest(std::string url, std::string_view apiKey, const std::string& boundary,
                                       const std::filesystem::path& audioFile, std::string_view audioBytes,
                                       const CloudTranscriptionHints& hints);

// POST to the hosted service with a JSON object: audio_base64, filename and
// mime_type (always "recording.wav" and "audio/wav"), and language and prompt
// when present. Throws PlatformError when the body cannot be serialised.
HttpRequest tavloCloudTranscriptionRequest(std::string url, std::string_view accessToken,
                                           std::string_view audioBytes, const CloudTranscriptionHints& hints);

}  // namespace tavlo
