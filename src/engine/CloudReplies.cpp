#include "engine/CloudReplies.h"

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "engine/WhisperOutput.h"

namespace tavlo {
namespace {

using nlohmann::json;

struct ReplyBody {
    std::string text;  // the body as UTF-8, empty when it is not
    json object;       // the body parsed, when it is a JSON object; null otherwise

    explicit ReplyBody(const HttpResponse& response) : text(utf8TextOrEmpty(response.body)) {
        json parsed = json::parse(text, nullptr, false);
        if (parsed.is_object()) object = std::move(parsed);
    }

    std::optional<std::string> string(const json& in, const char* key) const {
        if (!in.is_object()) return std::nullopt;
        const auto found = in.find(key);
        if (found == in.end() || !found->is_string()) return std::nullopt;
        return found->get<std::string>();
    }
    std::optional<std::string> string(const char* key) const { return string(object, key); }
    std::optional<std::string> nestedString(const char* outer, const char* key) const {
        if (!object.is_object()) return std::nullopt;
        const auto found = object.find(outer);
        if (found == object.end()) return std::nullopt;
        return string(*found, key);
    }
};

bool isOK(const HttpResponse& response) { return response.statusCode >= 200 && response.statusCode <= 299; }

DictationResult failedWith(std::string message) {
    return DictationResult::failure(DictationEngineError::cloudTranscriptionFailed(std::move(message)));
}

DictationResult transcript(const ReplyBody& body) {
    return DictationResult::success(normalizeWhisperOutput(body.string("text").value_or(body.text)));
}

}  // namespace

DictationResult openAITranscriptionOutcome(const HttpResult& result) {
    if (!result.response) return failedWith(result.error ? result.error->description : std::string());
    const ReplyBody body(*result.response);
    if (isOK(*result.response)) return transcript(body);
    if (auto message = body.nestedString("error", "message")) return failedWith(std::move(*message));
    if (auto message = body.string("error")) return failedWith(std::move(*message));
    return failedWith(body.text);
}

DictationResult tavloCloudTranscriptionOutcome(const HttpResult& result) {
    if (!result.response) return failedWith(result.error ? result.error->description : std::string());
    const ReplyBody body(*result.response);
    if (isOK(*result.response)) return transcript(body);
    if (result.response->statusCode == 404) return failedWith(std::string(kTavloCloudNotAvailableMessage));
    if (auto message = body.string("error")) return failedWith(std::move(*message));
    if (auto message = body.string("detail")) return failedWith(std::move(*message));
    return failedWith(body.text);
}

}  // namespace tavlo
