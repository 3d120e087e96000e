#pragma once
// The bubble on Wayland compositors with a layer shell (sway, Hyprland, KDE
// Plasma): the same view as on X11, drawn into a picture that a layer
// surface shows at the right edge of the screen. The surface declines the
// keyboard and lets clicks through, so the field the user dictates into
// keeps the focus; dragging and clicking the bubble are X11 only.
#include <QObject>

#include <memory>

#include "base/BubbleFrameText.h"
#include "indicator/BubbleView.h"
#include "platform/BubbleDisplay.h"
#include "platform/linux/wayland/LayerSurface.h"

class QTimer;

namespace tavlo {

class LayerShellBubble final : public QObject, public BubbleDisplay {
public:
    // Null where the compositor offers no layer shell. `frame` gives the
    // bubble's size; its place is the right edge.
    static std::shared_ptr<LayerShellBubble> create(std::shared_ptr<wayland::WaylandConnection> connection,
                                                    const Rect& frame);
    ~LayerShellBubble() override;

    BubbleView& bubbleView() { return *view_; }

    void setState(BubbleState state) override;
    BubbleState state() const override { return view_->state(); }
    void setHandsFree(bool handsFree) override;
    void setBubbleShown(bool shown) override;
    bool isShown() const { return shown_; }

private:
    LayerShellBubble(std::unique_ptr<wayland::LayerSurface> surface, const Rect& frame);
    // Draws the view as it is now and puts the picture up.
    void redraw();
    // Follows the view's animation while it runs and the bubble is shown.
    void updateFrameTimer();

    std::unique_ptr<wayland::LayerSurface> surface_;
    std::unique_ptr<BubbleView> view_;
    std::unique_ptr<QTimer> frameTimer_;
    bool shown_ = false;
};

}  // namespace tavlo
