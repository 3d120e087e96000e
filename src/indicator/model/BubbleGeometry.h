#pragma once
// Where the bubble may be: kept whole inside the visible area of a screen
// (the part not covered by panels), both when dragged and when placed at
// start-up. Screen coordinates are the desktop's: origin top-left, y down.
#include <cstddef>
#include <optional>
#include <vector>

#include "indicator/model/Drawing.h"

namespace tavlo {

// The bubble window is always this many points across.
inline constexpr double bubbleSize = 46;

struct ScreenLayout {
    // The visible area of each screen, in the desktop's order.
    std::vector<Rect> visibleFrames;
    // The primary screen's index into `visibleFrames`, if there is one.
    std::optional<std::size_t> primary;
};

// The screen whose visible area holds `point` (right and bottom edges
// excluded), else the primary screen, else none.
std::optional<Rect> screenFrameFor(const ScreenLayout& screens, const Point& point);

// `origin` moved so a window of `size` lies inside `frame`, `margin` points
// from its edges.
Point clampedOrigin(const Point& origin, double width, double height, const Rect& frame, double margin = 0);

// The bubble's frame at start-up: the saved origin if there is one, else
// against the right edge of the primary screen, 22 points in and vertically
// centred; then kept 4 points inside the screen holding that origin.
Rect initialBubbleFrame(const std::optional<Rect>& savedFrame, const ScreenLayout& screens);

}  // namespace tavlo
