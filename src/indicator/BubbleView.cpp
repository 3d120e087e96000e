#include "indicator/BubbleView.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include "indicator/DesktopScreens.h"
#include "indicator/DrawingPainter.h"

namespace tavlo {
namespace {

Point toPoint(const QPointF& point) { return {point.x(), point.y()}; }

}  // namespace

BubbleView::BubbleView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
}

BubbleView::~BubbleView() = default;

void BubbleView::setState(BubbleState state) {
    model_.setState(state);
    updateAnimationTimer();
    update();
}

void BubbleView::setHandsFree(bool handsFree) {
    model_.setHandsFree(handsFree);
    update();
}

void BubbleView::setOpaque(bool opaque) {
    model_.setOpaque(opaque);
    update();
}

void BubbleView::updateAnimationTimer() {
    if (model_.wantsAnimationTimer() && !animationTimer_) {
        animationTimer_ = std::make_unique<QTimer>();
        animationTimer_->setInterval(BubbleViewModel::animationInterval);
        QObject::connect(animationTimer_.get(), &QTimer::timeout, this, [this] {
            model_.advanceAnimation();
            update();
        });
        animationTimer_->start();
    } else if (!model_.wantsAnimationTimer()) {
        animationTimer_.reset();
    }
}

void BubbleView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintDrawing(painter, model_.drawing({0, 0, static_cast<double>(width()), static_cast<double>(height())}));
}

void BubbleView::enterEvent(QEnterEvent*) {
    model_.setHover(true);
    update();
}

void BubbleView::leaveEvent(QEvent*) {
    model_.setHover(false);
    update();
}

void BubbleView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    pressed_ = true;
    // The window's origin as the X server saw it at the press: Qt's own idea
    // of its position may still be catching up with the window manager.
    const QPointF origin = event->globalPosition() - mapTo(window(), event->position());
    model_.mouseDown(toPoint(event->globalPosition()), toPoint(origin));
}

void BubbleView::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_) return;
    QWidget* bubbleWindow = window();
    const Point origin = model_.mouseDragged(toPoint(event->globalPosition()), bubbleWindow->width(),
                                             bubbleWindow->height(), desktopScreenLayout());
    bubbleWindow->move(qRound(origin.x), qRound(origin.y));
}

void BubbleView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_) return;
    pressed_ = false;
    const QRect frame = window()->geometry();
    model_.mouseUp({static_cast<double>(frame.x()), static_cast<double>(frame.y()), static_cast<double>(frame.width()),
                    static_cast<double>(frame.height())});
}

void BubbleView::contextMenuEvent(QContextMenuEvent* event) {
    if (!menuHandler_) return;
    menuHandler_(event->globalPos());
    event->accept();
}

}  // namespace tavlo
