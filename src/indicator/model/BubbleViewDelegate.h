#pragma once
// Who hears the bubble's clicks and moves: the controller, which toggles the
// dictation and remembers where the bubble was put.
#include "base/BubbleFrameText.h"

namespace tavlo {

class BubbleViewDelegate {
public:
    virtual ~BubbleViewDelegate() = default;
    virtual void bubbleDidRequestToggle() = 0;
    // The window's new frame in desktop coordinates, after a drag.
    virtual void bubbleDidMove(const Rect& frame) = 0;
};

}  // namespace tavlo
