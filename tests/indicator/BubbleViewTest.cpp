// The bubble's widgets on the offscreen platform: the window's set-up, the
// animation timer that exists only while listening or processing, and pointer events
// forwarded as clicks and drags.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

#include <memory>
#include <string>
#include <vector>

#include "IndicatorApplication.h"
#include "indicator/BubbleWindow.h"
#include "indicator/DrawingPainter.h"

namespace tavlo {
namespace {

struct RecordingDelegate : BubbleViewDelegate {
    std::vector<std::string> calls;
    void bubbleDidRequestToggle() override { calls.push_back("toggle"); }
    void bubbleDidMove(const Rect& frame) override { calls.push_back("move " + rectText(frame)); }
};

class BubbleViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::ensureOffscreenApplication();
        window = std::make_unique<BubbleWindow>(Rect{300, 200, 46, 46});
        window->bubbleView().setDelegate(delegate);
        window->show();
    }

    void runEventsFor(int milliseconds) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    // A mouse event with the pointer at a point of the desktop.
    void send(QEvent::Type type, QPointF global, Qt::MouseButton button, Qt::MouseButtons buttons) {
        BubbleView& view = window->bubbleView();
        QMouseEvent event(type, view.mapFromGlobal(global), global, button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &event);
    }

    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::unique_ptr<BubbleWindow> window;
};

TEST_F(BubbleViewTest, AFloatingToolWindowThatTakesNoFocus) {
    const Qt::WindowFlags flags = window->windowFlags();
    for (Qt::WindowType flag : {Qt::Tool, Qt::FramelessWindowHint, Qt::WindowStaysOnTopHint, Qt::WindowDoesNotAcceptFocus})
        EXPECT_TRUE(flags.testFlag(flag)) << flag;
    EXPECT_TRUE(window->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(window->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_EQ(window->geometry(), QRect(300, 200, 46, 46));
    EXPECT_EQ(window->bubbleView().geometry(), QRect(0, 0, 46, 46));
    EXPECT_EQ(window->state(), BubbleState::idle);
}

TEST_F(BubbleViewTest, TheAnimationTimerExistsOnlyWhileTheLookMoves) {
    BubbleView& view = window->bubbleView();
    EXPECT_FALSE(view.animationTimerRunning());
    window->setState(BubbleState::listening);
    EXPECT_TRUE(view.animationTimerRunning());
    runEventsFor(400);
    const double phase = view.model().phase();
    EXPECT_GE(phase, 2 * 0.42);
    window->setState(BubbleState::success);
    EXPECT_FALSE(view.animationTimerRunning());
    runEventsFor(200);
    EXPECT_EQ(view.model().phase(), phase);
    // Processing turns its arc: the timer runs on.
    window->setState(BubbleState::processing);
    EXPECT_TRUE(view.animationTimerRunning());
    window->setState(BubbleState::listening);
    window->setState(BubbleState::listening);
    EXPECT_TRUE(view.animationTimerRunning());
    window->setState(BubbleState::idle);
    EXPECT_FALSE(view.animationTimerRunning());
}

TEST_F(BubbleViewTest, PaintsTheModelsDrawing) {
    window->setState(BubbleState::error);
    const QImage painted = window->bubbleView().grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage expected(painted.size(), QImage::Format_ARGB32_Premultiplied);
    expected.fill(Qt::transparent);
    {
        QPainter painter(&expected);
        paintDrawing(painter, window->bubbleView().model().drawing({0, 0, 46, 46}));
    }
    EXPECT_EQ(painted, expected);
}

TEST_F(BubbleViewTest, HoverFollowsThePointer) {
    BubbleView& view = window->bubbleView();
    QEnterEvent enter(QPointF(5, 5), view.mapToGlobal(QPointF(5, 5)), view.mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(&view, &enter);
    EXPECT_TRUE(view.model().hover());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&view, &leave);
    EXPECT_FALSE(view.model().hover());
}

TEST_F(BubbleViewTest, AClickTogglesAndADragMovesTheWindowAndReportsItsFrame) {
    const QPointF centre(323, 223);
    send(QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(delegate->calls, std::vector<std::string>{"toggle"});

    // The right button does nothing.
    send(QEvent::MouseButtonPress, centre, Qt::RightButton, Qt::RightButton);
    send(QEvent::MouseButtonRelease, centre, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(delegate->calls.size(), 1u);

    send(QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, {333, 220}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(window->pos(), QPoint(310, 197));
    send(QEvent::MouseMove, {363, 229}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(window->pos(), QPoint(340, 206));
    send(QEvent::MouseButtonRelease, {363, 229}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(delegate->calls.back(), "move {{340, 206}, {46, 46}}");
}

}  // namespace
}  // namespace tavlo
