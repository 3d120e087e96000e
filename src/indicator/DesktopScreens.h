#pragma once
// The desktop's screens as the bubble's geometry sees them: the area of each
// not covered by panels, and which one is the primary screen.
#include "indicator/model/BubbleGeometry.h"

namespace tavlo {

ScreenLayout desktopScreenLayout();

}  // namespace tavlo
