#include "engine/cloud/CloudRequests.h"

#include <array>
#include <utility>

#include <nlohmann/json.hpp>

#include "engine/cloud/Base64.h"
#include "engine/cloud/MultipartFormBody.h"
#include "engine/support/RandomUuid.h"
#include "engine/support/TextTrimming.h"
#include "platform/PlatformError.h"

namespace tavlo {
namespace {

std::string asciiLowercase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string bearer(std::string_view credential) { return "Bearer " + std::string(credential); }

}  // namespace

std::optional<std::string> cloudPrompt(const std::vector<std::string>& contextualStrings) {
    std::string prompt;
    std::size_t terms = 0;
    for (const std::string& candidate : contextualStrings) {
        if (terms == kCloudPromptTermLimit) break;
        const std::string term = trimWhitespaceAndLineBreaks(candidate);
        if (term.empty()) continue;
        if (terms > 0) prompt += ", ";
        prompt += term;
        ++terms;
    }
    if (terms == 0) return std::nullopt;
    return prompt;
}

std::string audioMimeType(const std::filesystem::path& file) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 8> types{{
        {".mp3", "audio/mpeg"},
        {".mpga", "audio/mpeg"},
        {".m4a", "audio/mp4"},
        {".mp4", "audio/mp4"},
        {".webm", "audio/webm"},
        {".ogg", "audio/ogg"},
        {".flac", "audio/flac"},
        {".aac", "audio/aac"},
    }};
    const std::string extension = asciiLowercase(file.extension().string());
    for (const auto& [known, type] : types)
        if (extension == known) return std::string(type);
    return "audio/wav";
}

std::string openAIFormBoundary() { return "TavloOpenAIBoundary-" + makeRandomUuid(); }

std::string formDataFileName(std::string_view fileName) {
    std::string escaped;
    escaped.reserve(fileName.size());
    for (const char c : fileName) {
        switch (c) {
        case '"': escaped += "%22"; break;
        case '\r': escaped += "%0D"; break;
        case '\n': escaped += "%0A"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

HttpRequest openAITranscriptionRequest(std::string url, std::string_view apiKey, const std::string& boundary,
                                       const std::filesystem::path& audioFile, std::string_view audioBytes,
                                       const CloudTranscriptionHints& hints) {
    MultipartFormBody form(boundary);
    form.addField("model", "gpt-4o-transcribe");
    form.addField("response_format", "json");
    if (hints.language) form.addField("language", *hints.language);
    if (hints.prompt) form.addField("prompt", *hints.prompt);
    form.addFile("file", formDataFileName(audioFile.filename().string()), audioMimeType(audioFile), audioBytes);

    HttpRequest request;
    request.method = "POST";
    request.url = std::move(url);
    request.headers = {{"Authorization", bearer(apiKey)}, {"Content-Type", form.contentType()}};
    request.body = form.finish();
    return request;
}

HttpRequest tavloCloudTranscriptionRequest(std::string url, std::string_view accessToken,
                                           std::string_view audioBytes, const CloudTranscriptionHints& hints) {
    nlohmann::json payload = {
        {"audio_base64", base64Encoded(audioBytes)},
        {"filename", "recording.wav"},
        {"mime_type", "audio/wav"},
    };
    if (hints.language) payload["language"] = *hints.language;
    if (hints.prompt) payload["prompt"] = *hints.prompt;

    HttpRequest request;
    request.method = "POST";
    request.url = std::move(url);
    request.headers = {{"Authorization", bearer(accessToken)}, {"Content-Type", "application/json"}};
    try {
        request.body = payload.dump();
    } catch (const nlohmann::json::exception& error) {
        // Text that is not UTF-8 cannot go into JSON.
        throw PlatformError("json", error.id, error.what());
    }
    return request;
}

}  // namespace tavlo
