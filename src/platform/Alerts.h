#pragma once
// Modal alerts: a message, an informative text and buttons, the first being
// the default. The answer arrives later with the index of the button chosen.
#include <functional>
#include <string>
#include <vector>

namespace tavlo {

struct AlertRequest {
    std::string message;
    std::string informativeText;
    std::vector<std::string> buttons;
    // False: shown beside the user's work without taking the keyboard focus
    // and without blocking other windows (the user may type on meanwhile).
    bool takesFocus = true;
    // Something went wrong: shown with a warning sign, not as information.
    bool isProblem = false;
    bool operator==(const AlertRequest&) const = default;
};

class Alerts {
public:
    virtual ~Alerts() = default;
    // `chosen` receives the index of the button pressed (0 when closed otherwise).
    virtual void present(const AlertRequest& alert, std::function<void(int chosen)> chosen) = 0;
};

}  // namespace tavlo
