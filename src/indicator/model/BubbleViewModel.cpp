#include "indicator/model/BubbleViewModel.h"

#include <cmath>


namespace tavlo {

void BubbleViewModel::mouseDown(const Point& pointer, const Point& windowOrigin) {
    mouseDownPointer_ = pointer;
    mouseDownWindowOrigin_ = windowOrigin;
    hasDragged_ = false;
}

Point BubbleViewModel::mouseDragged(const Point& pointer, double windowWidth, double windowHeight,
                                    const ScreenLayout& screens) {
    const double dx = pointer.x - mouseDownPointer_.x;
    const double dy = pointer.y - mouseDownPointer_.y;
    if (std::abs(dx) > dragThreshold || std::abs(dy) > dragThreshold) hasDragged_ = true;
    const Point origin{mouseDownWindowOrigin_.x + dx, mouseDownWindowOrigin_.y + dy};
    const auto frame = screenFrameFor(screens, pointer);
    return frame ? clampedOrigin(origin, windowWidth, windowHeight, *frame) : origin;
}

void BubbleViewModel::mouseUp(const Rect& windowFrame) {
    const auto delegate = delegate_.lock();
    if (!delegate) return;
    if (hasDragged_)
        delegate->bubbleDidMove(windowFrame);
    else
        delegate->bubbleDidRequestToggle();
}

Drawing BubbleViewModel::drawing(const Rect& bounds) const { return bubbleDrawing(look_, bounds); }

}  // namespace tavlo
