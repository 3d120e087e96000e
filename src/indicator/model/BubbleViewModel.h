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

#include "indicator/model/BubbleGeometry.h"
#include "base/BubbleState.h"
#include "indicator/model/BubbleViewDelegate.h"
#include "indicator/model/Drawing.h"

namespace tavlo {

class BubbleViewModel {
public:
    // The listening bars advance by this phase at every tick of the timer.
    static constexpr double phaseStep = 0.42;
    static constexpr std::chrono::milliseconds animationInterval{80};
    static constexpr double dragThreshold = 2;

    void setDelegate(std::weak_ptr<BubbleViewDelegate> delegate) { delegate_ = std::move(delegate); }

    BubbleState state() const { return state_; }
    void setState(BubbleState state) { state_ = state; }
    // The animation timer runs exactly while listening.
    bool wantsAnimationTimer() const { return state_ == BubbleState::listening; }
    // One tick of the timer. The phase only grows, so a new listening period
    // continues where the last one stopped.
    void advanceAnimation() { phase_ += phaseStep; }
    double phase() const { return phase_; }

    bool hover() const { return hover_; }
    void setHover(bool hover) { hover_ = hover; }

    void mouseDown(const Point& pointer, const Point& windowOrigin);
    // The window's new origin for the pointer's position on the desktop.
    Point mouseDragged(const Point& pointer, double windowWidth, double windowHeight, const ScreenLayout& screens);
    // Tells the delegate (if it still exists) of a click or of the new frame.
    void mouseUp(const Rect& windowFrame);
    bool hasDragged() const { return hasDragged_; }

    Drawing drawing(const Rect& bounds) const;

private:
    std::weak_ptr<BubbleViewDelegate> delegate_;
    BubbleState state_ = BubbleState::idle;
    bool hover_ = false;
    double phase_ = 0;
    Point mouseDownPointer_;
    Point mouseDownWindowOrigin_;
    bool hasDragged_ = false;
};

}  // namespace tavlo
