#pragma once
// The floating bubble: a small round window above all others, on every
// desktop, that never takes the keyboard focus, so clicking or dragging it
// leaves the user's typing where it was. The controller sets its state
// through the bubble port and shows or hides it.
//
// Its corners are transparent. Without a compositing manager the X server
// cannot blend them with what is below (they would show black), so the
// window is then cut to the round body, which is drawn opaque (the soft
// halo is only seen with a compositor).
#include <QWidget>

#include "indicator/BubbleView.h"
#include "platform/BubbleDisplay.h"
#include "base/BubbleFrameText.h"

namespace tavlo {

class BubbleWindow final : public QWidget, public BubbleDisplay {
public:
    // `frame` in desktop coordinates (its size is the bubble's, 46 x 46).
    explicit BubbleWindow(const Rect& frame);

    BubbleView& bubbleView() { return *bubbleView_; }

    // Each new state also looks again for a compositing manager, which may
    // have started or stopped since the bubble was shown.
    void setState(BubbleState state) override;
    BubbleState state() const override { return bubbleView_->state(); }
    // Shown without taking the focus (the window never accepts it).
    void setBubbleShown(bool shown) override { shown ? show() : hide(); }
    void setToolTip(const std::string& text) override;
    void setHandsFree(bool handsFree) override { bubbleView_->setHandsFree(handsFree); }

    // Whether the window is cut to the round body (no compositor).
    bool isShaped() const { return !mask().isEmpty(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void prepareForShowing();
    // Cut to the round body and drawn opaque exactly when nothing composites.
    void followCompositor();

    BubbleView* bubbleView_;
};

}  // namespace tavlo
