#pragma once
// The small signals the hub gives the user besides its own drawing: the
// system's alert sound for a refused action, and a haptic tick that confirms
// one. Desktops without haptics make the tick a no-op; the hub still asks for
// it at every point where it confirms an action.
namespace tavlo {

class HubFeedback {
public:
    virtual ~HubFeedback() = default;
    virtual void beep() = 0;
    virtual void hapticTick() = 0;
};

}  // namespace tavlo
