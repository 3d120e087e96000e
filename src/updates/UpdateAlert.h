#pragma once
// The words in which an update result is shown to the user: the alert's
// message, its informative text and its buttons. The desktop alert and the
// command line say the same.
#include <string>
#include <vector>

#include "updates/AppUpdateResult.h"

namespace tavlo {

struct UpdateAlert {
    std::string message;
    std::string informativeText;
    // The first is the default. For an available update the first,
    // "Download", opens the manifest's download page.
    std::vector<std::string> buttons;

    friend bool operator==(const UpdateAlert&, const UpdateAlert&) = default;
};

UpdateAlert updateAlert(const AppUpdateResult& result);

}  // namespace tavlo
