#include "updates/UpdateAlert.h"

namespace tavlo {

UpdateAlert updateAlert(const AppUpdateResult& result) {
    switch (result.kind()) {
        case AppUpdateResult::Kind::available: {
            const AppUpdateManifest& manifest = result.manifest();
            return {"Update available", "Tavlo " + manifest.version + " is ready.\n\n" + manifest.releaseNotes,
                    {"Download", "Later"}};
        }
        case AppUpdateResult::Kind::current:
            return {"You're up to date", "Tavlo " + result.version() + " is the latest version.", {"OK"}};
        case AppUpdateResult::Kind::failed:
            break;
    }
    return {"Could not check for updates", result.message(), {"OK"}};
}

}  // namespace tavlo
