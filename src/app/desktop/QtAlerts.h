#pragma once
// Alerts as Qt message boxes. They open without blocking the event loop (the
// dictation keys, the bubble and the timers keep running) and report the
// button chosen when they close.
#include "platform/Alerts.h"

namespace tavlo {

class QtAlerts final : public Alerts {
public:
    void present(const AlertRequest& alert, std::function<void(int chosen)> chosen) override;
};

}  // namespace tavlo
