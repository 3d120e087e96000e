#pragma once
// The desktop's notifications: a short message that appears on its own and
// never takes the keyboard focus from the application the user types in.
#include <string>

namespace tavlo {

class Notifications {
public:
    virtual ~Notifications() = default;
    // Whether the desktop took the notification.
    virtual bool notify(const std::string& summary, const std::string& body) = 0;
};

}  // namespace tavlo
