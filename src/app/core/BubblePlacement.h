#pragma once
// Where the bubble goes at launch: its saved place, or against the right edge
// of the main screen, kept inside the screen it lands on.
#include <optional>
#include <vector>

#include "settings/BubbleFrameText.h"

namespace tavlo {

inline constexpr double bubbleSize = 46;

// `screens` are the visible frames, the main screen first.
Rect bubbleLaunchFrame(const std::optional<Rect>& saved, const std::vector<Rect>& screens);

}  // namespace tavlo
