#pragma once
// The bubble's content: paints the view-model's drawing, forwards hover,
// clicks and drags to it, and moves its window while dragged. The listening
// animation's timer exists only while listening, so an idle bubble never
// wakes the program.
#include <QWidget>

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
    void setDelegate(std::weak_ptr<BubbleViewDelegate> delegate) { model_.setDelegate(std::move(delegate)); }

    const BubbleViewModel& model() const { return model_; }
    bool animationTimerRunning() const { return animationTimer_ != nullptr; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void updateAnimationTimer();

    BubbleViewModel model_;
    std::unique_ptr<QTimer> animationTimer_;
    bool pressed_ = false;
};

}  // namespace tavlo
