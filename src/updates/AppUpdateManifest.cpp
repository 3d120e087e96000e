#include "updates/AppUpdateManifest.h"

#include <nlohmann/json.hpp>

#include "updates/WebAddress.h"

namespace tavlo {

std::optional<AppUpdateManifest> decodeAppUpdateManifest(std::string_view json) {
    const auto document = nlohmann::json::parse(json, nullptr, /*allow_exceptions=*/false);
    if (!document.is_object()) return std::nullopt;

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
