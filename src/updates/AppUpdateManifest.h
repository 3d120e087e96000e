#pragma once
// The update manifest: the small JSON document a release publishes to say which
// version is current and where to get it.
#include <optional>
#include <string>
#include <string_view>

namespace tavlo {

struct AppUpdateManifest {
    std::string version;       // "version": dotted numbers, see compareVersions
    std::string build;         // "build": compared as an integer when versions are equal
    std::string minimumMacOS;  // "minimum_macos": carried, never compared
    std::string downloadURL;   // "download_url": the page the "Download" button opens
    std::string releaseNotes;  // "release_notes": shown under the version

    friend bool operator==(const AppUpdateManifest&, const AppUpdateManifest&) = default;
};

// A JSON object with all five keys as strings and a download address that
// isWebAddress accepts; other keys are ignored. Anything else gives nothing.
std::optional<AppUpdateManifest> decodeAppUpdateManifest(std::string_view json);

}  // namespace tavlo
