#pragma once
// Where this build looks for the update manifest and which version it calls
// its own: both fixed when the program is built. The environment variable
// TAVLO_UPDATE_MANIFEST_URLS (addresses separated by white space, tried in
// order) replaces the built-in addresses, for a staging server or a test.
#include <string>
#include <vector>

#include "platform/HostEnvironment.h"
#include "updates/UpdateDecision.h"

namespace tavlo {

struct UpdateSources {
    std::vector<std::string> manifestURLs;
    RunningApplicationVersion running;
};

// The addresses built into the program, in order.
std::vector<std::string> builtInManifestURLs();

// The running version and build of this program; "0" for either when the
// build gave none.
RunningApplicationVersion runningApplicationVersion();

// The environment's addresses when the variable is set and not blank,
// otherwise the built-in ones; with the running version.
UpdateSources updateSources(const HostEnvironment& environment);

}  // namespace tavlo
