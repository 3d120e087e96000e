#include "indicator/model/BubbleGeometry.h"

#include <algorithm>

namespace tavlo {

std::optional<Rect> screenFrameFor(const ScreenLayout& screens, const Point& point) {
    for (const Rect& frame : screens.visibleFrames) {
        if (point.x >= frame.x && point.x < frame.x + frame.width && point.y >= frame.y &&
            point.y < frame.y + frame.height)
            return frame;
    }
    if (screens.primary && *screens.primary < screens.visibleFrames.size())
        return screens.visibleFrames[*screens.primary];
    return std::nullopt;
}

Point clampedOrigin(const Point& origin, double width, double height, const Rect& frame, double margin) {
    // Written as min(max(...)) rather than std::clamp: a screen smaller than
    // the window must not be undefined behaviour; the far edge wins.
    return {std::min(std::max(origin.x, frame.x + margin), frame.x + frame.width - width - margin),
            std::min(std::max(origin.y, frame.y + margin), frame.y + frame.height - height - margin)};
}

Rect initialBubbleFrame(const std::optional<Rect>& savedFrame, const ScreenLayout& screens) {
    Point origin{800, 500};
    if (screens.primary && *screens.primary < screens.visibleFrames.size()) {
        const Rect& main = screens.visibleFrames[*screens.primary];
        origin = {main.x + main.width - bubbleSize - 22, midY(main) - bubbleSize / 2};
    }
    if (savedFrame) origin = {savedFrame->x, savedFrame->y};
    if (const auto frame = screenFrameFor(screens, origin)) origin = clampedOrigin(origin, bubbleSize, bubbleSize, *frame, 4);
    return {origin.x, origin.y, bubbleSize, bubbleSize};
}

}  // namespace tavlo
