#pragma once
// The desktop's notifications over the session bus
// (org.freedesktop.Notifications): they never take the keyboard focus.
#include "platform/Notifications.h"

namespace tavlo {

class DBusNotifications final : public Notifications {
public:
    bool notify(const std::string& summary, const std::string& body) override;
};

}  // namespace tavlo
