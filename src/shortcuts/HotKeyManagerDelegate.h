#pragma once
// What a pressed global shortcut asks the application controller to do.
#include "base/Enums.h"

namespace tavlo {

class HotKeyManagerDelegate {
public:
    virtual ~HotKeyManagerDelegate() = default;
    virtual void hotKeyManagerDidPressToggle() = 0;
    virtual void hotKeyManagerDidPressMouseTrigger() = 0;
    virtual void hotKeyManagerDidPressRepolish(TransformStyle style) = 0;
    virtual void hotKeyManagerDidPressEscape() = 0;
    virtual void hotKeyManagerDidPressReturn() = 0;
};

}  // namespace tavlo
