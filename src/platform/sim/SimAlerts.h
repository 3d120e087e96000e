#pragma once
// Alerts without a desktop: each request is kept, and the test answers it.
#include <functional>
#include <utility>
#include <vector>

#include "platform/Alerts.h"

namespace tavlo {

class SimAlerts final : public Alerts {
public:
    void present(const AlertRequest& alert, std::function<void(int chosen)> chosen) override {
        shown.push_back(alert);
        pending.push_back(std::move(chosen));
    }
    // The user presses button `index` of the oldest open alert.
    void answer(int index) {
        if (pending.empty()) return;
        auto chosen = std::move(pending.front());
        pending.erase(pending.begin());
        if (chosen) chosen(index);
    }

    std::vector<AlertRequest> shown;
    std::vector<std::function<void(int)>> pending;
};

}  // namespace tavlo
