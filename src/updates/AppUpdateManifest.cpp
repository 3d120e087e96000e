#include "updates/AppUpdateManifest.h"

#include <nlohmann/json.hpp>

#include "updates/WebAddress.h"
#include "base/BoundedJson.h"

namespace tavlo {

std::optional<AppUpdateManifest> decodeAppUpdateManifest(std::string_view json) {
    const auto parsed = parseBoundedJson(json);
    if (!parsed || !parsed->is_object()) return std::nullopt;
    const nlohmann::json& document = *parsed;

    bool complete = true;
    auto text = [&](const char* key) {
        const auto found = document.find(key);
        if (found == document.end() || !found->is_string()) {
            complete = false;
            return std::string();
        }
        return found->get<std::string>();
    };
    AppUpdateManifest manifest{
        .version = text("version"),
        .build = text("build"),
        .minimumMacOS = text("minimum_macos"),
        .downloadURL = text("download_url"),
        .releaseNotes = text("release_notes"),
    };
    if (!complete || !isWebAddress(manifest.downloadURL)) return std::nullopt;
    return manifest;
}

}  // namespace tavlo
