#pragma once
// Whether a published release is newer than the running program.
#include <string>

#include "updates/AppUpdateManifest.h"
#include "updates/AppUpdateResult.h"

namespace tavlo {

struct RunningApplicationVersion {
    std::string version;  // the marketing version, such as "1.2.9"
    std::string build;    // the build number, only compared when the versions are equal

    friend bool operator==(const RunningApplicationVersion&, const RunningApplicationVersion&) = default;
};

// A newer manifest version is `available`, an older one `current`. For equal
// versions the builds decide, read with readDecimalInteger: only a greater
// published build is `available`. `current` carries the running version.
AppUpdateResult decideUpdate(const AppUpdateManifest& manifest, const RunningApplicationVersion& running);

}  // namespace tavlo
