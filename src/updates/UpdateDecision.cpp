#include "updates/UpdateDecision.h"

#include "updates/VersionComparison.h"

namespace tavlo {

AppUpdateResult decideUpdate(const AppUpdateManifest& manifest, const RunningApplicationVersion& running) {
    switch (compareVersions(manifest.version, running.version)) {
        case VersionOrder::descending:
            return AppUpdateResult::available(manifest);
        case VersionOrder::ascending:
            return AppUpdateResult::current(running.version);
        case VersionOrder::same:
            break;
    }
    if (readDecimalInteger(manifest.build) > readDecimalInteger(running.build))
        return AppUpdateResult::available(manifest);
    return AppUpdateResult::current(running.version);
}

}  // namespace tavlo
