#include "app/core/BubblePlacement.h"

#include <algorithm>

namespace tavlo {
namespace {

constexpr double edgeInset = 22;
constexpr double margin = 4;

bool contains(const Rect& frame, double x, double y) {
    return x >= frame.x && x < frame.x + frame.width && y >= frame.y && y < frame.y + frame.height;
}

}  // namespace

Rect bubbleLaunchFrame(const std::optional<Rect>& saved, const std::vector<Rect>& screens) {
    double x = 800, y = 500;
    if (!screens.empty()) {
        const Rect& main = screens.front();
        x = main.x + main.width - bubbleSize - edgeInset;
        y = main.y + main.height / 2 - bubbleSize / 2;
    }
    if (saved) {
        x = saved->x;
        y = saved->y;
    }
    if (!screens.empty()) {
        const auto found = std::find_if(screens.begin(), screens.end(),
                                        [&](const Rect& frame) { return contains(frame, x, y); });
        const Rect& screen = found != screens.end() ? *found : screens.front();
        x = std::min(std::max(x, screen.x + margin), screen.x + screen.width - bubbleSize - margin);
        y = std::min(std::max(y, screen.y + margin), screen.y + screen.height - bubbleSize - margin);
    }
    return {x, y, bubbleSize, bubbleSize};
}

}  // namespace tavlo
