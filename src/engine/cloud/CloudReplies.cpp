#include "engine/cloud/CloudReplies.h"

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "engine/whisper/WhisperOutput.h"
#include "base/BoundedJson.h"

namespace tavlo {
namespace {

using nlohmann::json;

// A string value of a JSON object; absent when `in` is no object or the value is no string.
std::optional<std::string> stringAt(const json& in, const char* key) {
    if (!in.is_object()) return std::nullopt;
    const auto found = in.find(key);
    if (found == in.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

struct ReplyBody {
    std::string text;  // the body as UTF-8, empty when it is not
    json object;       // the body parsed, when it is a JSON object; null otherwise

    explicit ReplyBody(const HttpResponse& response) : text(utf8TextOrEmpty(response.body)) {
        auto parsed = parseBoundedJson(text);
        if (parsed && parsed->is_object()) object = std::move(*parsed);
    }

    std::optional<std::string> stringAt(const char* key) const { return tavlo::stringAt(object, key); }
    // A string inside an object inside the body, such as error.message.
    std::optional<std::string> stringAt(const char* outer, const char* key) const {
        if (!object.is_object()) return std::nullopt;
        const auto found = object.find(outer);
        return found == object.end() ? std::nullopt : tavlo::stringAt(*found, key);
    }
};

bool isOK(const HttpResponse& response) { return response.statusCode >= 200 && response.statusCode <= 299; }

DictationResult failedWith(std::string message) {
    return DictationResult::failure(DictationEngineError::cloudTranscriptionFailed(std::move(message)));
}

DictationResult transcript(const ReplyBody& body) {
    return DictationResult::success(normalizeWhisperOutput(body.stringAt("text").value_or(body.text)));
}

}  // namespace

DictationResult openAITranscriptionOutcome(const HttpResult& result) {
    if (!result.response) return failedWith(result.error ? result.error->description : std::string());
    const ReplyBody body(*result.response);
    if (isOK(*result.response)) return transcript(body);
    if (auto message = body.stringAt("error", "message")) return failedWith(std::move(*message));
    if (auto message = body.stringAt("error")) return failedWith(std::move(*message));
    return failedWith(body.text);
}

DictationResult tavloCloudTranscriptionOutcome(const HttpResult& result) {
    if (!result.response) return failedWith(result.error ? result.error->description : std::string());
    const ReplyBody body(*result.response);
    if (isOK(*result.response)) return transcript(body);
    if (result.response->statusCode == 404) return failedWith(std::string(kTavloCloudNotAvailableMessage));
    if (auto message = body.stringAt("error")) return failedWith(std::move(*message));
    if (auto message = body.stringAt("detail")) return failedWith(std::move(*message));
    return failedWith(body.text);
}

}  // namespace tavlo
