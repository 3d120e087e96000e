#pragma once
// The hub's feedback on a Linux desktop: the display's bell for a refused
// action. Desktops have no haptic trackpads to tick, so that stays silent.
#include <QApplication>

#include "hub/model/HubFeedback.h"

namespace tavlo::hub {

class QtHubFeedback final : public HubFeedback {
public:
    void beep() override { QApplication::beep(); }
    void hapticTick() override {}
};

}  // namespace tavlo::hub
