#include "settings/SnippetsFile.h"

#include "base/BoundedJson.h"

namespace tavlo {

std::optional<std::vector<VoiceSnippet>> snippetsFromJson(std::string_view text) {
    const auto parsed = parseBoundedJson(text);
    if (!parsed || !parsed->is_array()) return std::nullopt;
    try {
        return parsed->get<std::vector<VoiceSnippet>>();
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

}  // namespace tavlo
