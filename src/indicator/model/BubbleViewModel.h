#pragma once
// Everything the bubble view knows, without the window: its state, hover, the
// listening animation, and what a press, drag and release of the pointer
// mean. The view forwards pointer events and timer ticks here and paints
// `drawing()`.
//
// A press followed by a release is a click and toggles the dictation; once
// the pointer has moved more than 2 points in either direction it is a drag,
// and the release reports the new frame instead. The window follows the
// pointer from the first movement, kept inside the screen's visible area.
#include <chrono>
#include <memory>

#include "base/BubbleState.h"
#include "indicator/model/BubbleDrawing.h"
#include "indicator/model/BubbleGeometry.h"
#include "indicator/model/BubbleViewDelegate.h"
#include "indicator/model/Drawing.h"

namespace tavlo {

class BubbleViewModel {
public:
    // The animation (the listening bars, the processing arc) advances by
    // this phase at every tick of the timer.
    static constexpr double phaseStep = 0.42;
    static constexpr std::chrono::milliseconds animationInterval{80};
    static constexpr double dragThreshold = 2;

    void setDelegate(std::weak_ptr<BubbleViewDelegate> delegate) { delegate_ = std::move(delegate); }

    BubbleState state() const { return look_.state; }
    void setState(BubbleState state) { look_.state = state; }
    bool handsFree() const { return look_.handsFree; }
    void setHandsFree(bool handsFree) { look_.handsFree = handsFree; }
    // No compositor behind the window: drawn without translucency.
    bool opaque() const { return look_.opaque; }
    void setOpaque(bool opaque) { look_.opaque = opaque; }
    // The animation timer runs exactly while the look moves: listening and
    // processing.
    bool wantsAnimationTimer() const { return bubbleStyle(look_).animated; }
    // One tick of the timer. The phase only grows, so a new listening period
    // continues where the last one stopped.
    void advanceAnimation() { look_.phase += phaseStep; }
    double phase() const { return look_.phase; }

    bool hover() const { return look_.hover; }
    void setHover(bool hover) { look_.hover = hover; }

    void mouseDown(const Point& pointer, const Point& windowOrigin);
    // The window's new origin for the pointer's position on the desktop.
    Point mouseDragged(const Point& pointer, double windowWidth, double windowHeight, const ScreenLayout& screens);
    // Tells the delegate (if it still exists) of a click or of the new frame.
    void mouseUp(const Rect& windowFrame);
    bool hasDragged() const { return hasDragged_; }

    Drawing drawing(const Rect& bounds) const;

private:
    std::weak_ptr<BubbleViewDelegate> delegate_;
    BubbleLook look_;
    Point mouseDownPointer_;
    Point mouseDownWindowOrigin_;
    bool hasDragged_ = false;
};

}  // namespace tavlo
