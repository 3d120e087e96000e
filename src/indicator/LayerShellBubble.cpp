#include "indicator/LayerShellBubble.h"

#include <QImage>
#include <QTimer>

#include "indicator/model/BubbleViewModel.h"

namespace tavlo {

std::shared_ptr<LayerShellBubble> LayerShellBubble::create(std::shared_ptr<wayland::WaylandConnection> connection,
                                                           const Rect& frame) {
    wayland::LayerSurfacePlacement placement;
    placement.width = qRound(frame.width);
    placement.height = qRound(frame.height);
    auto surface = wayland::LayerSurface::create(std::move(connection), placement);
    if (!surface) return nullptr;
    return std::shared_ptr<LayerShellBubble>(new LayerShellBubble(std::move(surface), frame));
}

LayerShellBubble::LayerShellBubble(std::unique_ptr<wayland::LayerSurface> surface, const Rect& frame)
    : surface_(std::move(surface)), view_(std::make_unique<BubbleView>()), frameTimer_(std::make_unique<QTimer>()) {
    // Never shown as a window of its own: only drawn into pictures.
    view_->setAttribute(Qt::WA_DontShowOnScreen);
    view_->resize(qRound(frame.width), qRound(frame.height));
    frameTimer_->setInterval(BubbleViewModel::animationInterval);
    // Moved to an output of another scale: drawn again for it.
    surface_->setScaleChanged([this] { redraw(); });
    QObject::connect(frameTimer_.get(), &QTimer::timeout, this, [this] {
        redraw();
        // The view ends its animation by itself (a tick that runs out).
        if (!view_->animationTimerRunning()) frameTimer_->stop();
    });
}

LayerShellBubble::~LayerShellBubble() = default;

void LayerShellBubble::setState(BubbleState state) {
    view_->setState(state);
    updateFrameTimer();
    redraw();
}

void LayerShellBubble::setHandsFree(bool handsFree) {
    view_->setHandsFree(handsFree);
    redraw();
}

void LayerShellBubble::setBubbleShown(bool shown) {
    shown_ = shown;
    updateFrameTimer();
    if (shown) redraw();
    else surface_->hide();
}

void LayerShellBubble::redraw() {
    if (!shown_) return;
    // Drawn with as many pixels as the output shows for the surface, so
    // that a HiDPI screen shows it sharp.
    QImage picture(surface_->pixelWidth(), surface_->pixelHeight(), QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(surface_->scale());
    picture.fill(Qt::transparent);
    view_->render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
    // Qt's premultiplied ARGB32 is the compositor's ARGB8888: one 32-bit
    // word per pixel in native order, rows without padding at this width.
    surface_->show(reinterpret_cast<const std::uint32_t*>(picture.constBits()));
}

void LayerShellBubble::updateFrameTimer() {
    if (shown_ && view_->animationTimerRunning()) {
        if (!frameTimer_->isActive()) frameTimer_->start();
    } else {
        frameTimer_->stop();
    }
}

}  // namespace tavlo
