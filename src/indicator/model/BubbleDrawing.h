#pragma once
// What the bubble draws in each state: a soft halo, a dark round body with a
// thin rim, and a white glyph (level bars, a spinner arc, a check mark or a
// cross). Idle is the only state that lights up under the pointer.
#include "base/BubbleState.h"
#include "indicator/model/Drawing.h"

namespace tavlo {

// The round body inside the view's bounds: 38 points across in the standard
// 46 x 46 window, leaving room for the halo.
Rect bubbleCircle(const Rect& bounds);

Drawing bubbleDrawing(BubbleState state, bool hover, double phase, const Rect& bounds);

}  // namespace tavlo
