#pragma once
// The bubble's content: paints the view-model's drawing, forwards hover,
// clicks and drags to it, and moves its window while dragged. A right click
// opens the program's menu (the tray's), for desktops without a tray. The
// animation's timer exists only while the look moves (listening,
// processing), so an idle bubble never wakes the program.
#include <QWidget>

#include <functional>
#include <memory>

#include "indicator/model/BubbleViewModel.h"

class QTimer;

namespace tavlo {

class BubbleView final : public QWidget {
public:
    explicit BubbleView(QWidget* parent = nullptr);
    ~BubbleView() override;

    BubbleState state() const { return model_.state(); }
    void setState(BubbleState state);
    void setHandsFree(bool handsFree);
    void setOpaque(bool opaque);
    void setDelegate(std::weak_ptr<BubbleViewDelegate> delegate) { model_.setDelegate(std::move(delegate)); }

    // Who opens the program's menu when the bubble is right-clicked (or the
    // menu key pressed over it), at that point of the desktop.
    void setMenuHandler(std::function<void(const QPoint& at)> handler) { menuHandler_ = std::move(handler); }

    const BubbleViewModel& model() const { return model_; }
    bool animationTimerRunning() const { return animationTimer_ != nullptr; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void updateAnimationTimer();

    BubbleViewModel model_;
    std::unique_ptr<QTimer> animationTimer_;
    std::function<void(const QPoint&)> menuHandler_;
    bool pressed_ = false;
};

}  // namespace tavlo
