#include "engine/whisper/WhisperInference.h"

#include "base/BoundedJson.h"

#include <nlohmann/json.hpp>

#include "engine/cloud/MultipartFormBody.h"
#include "engine/whisper/WhisperOutput.h"

namespace tavlo {

double whisperWavSeconds(std::uintmax_t fileSize) {
    constexpr std::uintmax_t header = 44;
    constexpr double bytesPerSecond = 16000.0 * 2;
    return fileSize > header ? static_cast<double>(fileSize - header) / bytesPerSecond : 0.0;
}

double whisperInferenceTimeoutSeconds(double audioSeconds) { return 60.0 + 2.0 * audioSeconds; }

HttpRequest whisperInferenceRequest(const std::string& serverURL, const std::string& boundary,
                                    const std::string& wavBytes) {
    MultipartFormBody body(boundary);
    body.addField("response_format", "json");
    body.addField("temperature", "0");
    body.addFile("file", "audio.wav", "audio/wav", wavBytes);

    HttpRequest request;
    request.method = "POST";
    request.url = serverURL + "inference";
    request.timeoutSeconds = kWhisperInferenceTimeoutSeconds;
    request.followRedirects = false;
    // "Connection: close": no idle connection holds up the server's shutdown.
    request.headers = {{"Content-Type", body.contentType()}, {"Expect", ""}, {"Connection", "close"}};
    request.body = body.finish();
    return request;
}

HttpRequest whisperInferenceUpload(const std::string& serverURL, const std::string& boundary,
                                   const std::filesystem::path& wav) {
    MultipartFormBody body(boundary);
    body.addField("response_format", "json");
    body.addField("temperature", "0");
    auto [before, after] = body.finishAroundFile("file", "audio.wav", "audio/wav");

    HttpRequest request = whisperInferenceRequest(serverURL, boundary, {});
    request.body = std::move(before);
    request.bodyFile = wav.string();
    request.bodyAfterFile = std::move(after);
    return request;
}

std::variant<WhisperTranscript, WhisperInferenceFailure> readWhisperInferenceReply(const HttpResult& result) {
    if (!result.response) return WhisperInferenceFailure{result.error ? result.error->description : std::string()};
    const HttpResponse& response = *result.response;
    std::string body = utf8TextOrEmpty(response.body);
    // The server's reply is untrusted: nesting is bounded before parsing.
    const auto json = parseBoundedJson(body).value_or(nlohmann::json::value_t::discarded);
    if (response.statusCode < 200 || response.statusCode > 299) {
        // A failed inference answers {"error": "..."}: the words, not the JSON.
        if (json.is_object())
            if (const auto error = json.find("error"); error != json.end() && error->is_string())
                return WhisperInferenceFailure{error->get<std::string>()};
        return WhisperInferenceFailure{std::move(body)};
    }
    if (json.is_object()) {
        if (const auto text = json.find("text"); text != json.end() && text->is_string())
            return WhisperTranscript{text->get<std::string>()};
    }
    return WhisperTranscript{std::move(body)};
}

}  // namespace tavlo
