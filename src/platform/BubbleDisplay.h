#pragma once
// The floating bubble that shows the dictation state. The controller only sets
// the state and reads it back (delayed resets check that nothing changed it),
// and shows or hides it.
#include <string>

#include "base/BubbleState.h"

namespace tavlo {

class BubbleDisplay {
public:
    virtual ~BubbleDisplay() = default;
    virtual void setState(BubbleState state) = 0;
    virtual BubbleState state() const = 0;
    // Brings the bubble to the front (without taking the focus) or hides it.
    virtual void setBubbleShown(bool shown) = 0;
    // The text shown when the pointer rests on the bubble.
    virtual void setToolTip(const std::string& text) { (void)text; }
    // Whether the listening goes on until asked to stop (hands-free) rather
    // than while a key is held; set before the state it belongs to.
    virtual void setHandsFree(bool handsFree) { (void)handsFree; }
};

}  // namespace tavlo
