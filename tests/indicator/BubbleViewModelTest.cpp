// The bubble without a window: what it draws in each state, hover, the
// listening animation, click versus drag, and keeping it on screen.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "indicator/model/BubbleDrawing.h"
#include "indicator/model/BubbleViewModel.h"
#include "indicator/model/IconDrawings.h"

namespace tavlo {
namespace {

constexpr Rect bounds{0, 0, 46, 46};
constexpr BubbleState allStates[] = {BubbleState::idle, BubbleState::listening, BubbleState::processing,
                                     BubbleState::success, BubbleState::error};

template <typename T>
const T& shapeAt(const Drawing& drawing, std::size_t index) {
    return std::get<T>(drawing.at(index));
}

TEST(BubbleDrawing, TheBodyIs38PointsAcrossInTheStandardWindowAndSmallerInALowOne) {
    EXPECT_EQ(bubbleCircle(bounds), (Rect{4, 4, 38, 38}));
    EXPECT_EQ(bubbleCircle({0, 0, 46, 30}), (Rect{12, 4, 22, 22}));
    EXPECT_EQ(bubbleCircle({0, 0, 100, 100}), (Rect{31, 31, 38, 38}));
}

struct StateLook {
    BubbleState state;
    Colour halo;
    double haloBlur;
    Colour body;
    double rimAlpha;
};

class BubbleLook : public ::testing::TestWithParam<StateLook> {};

TEST_P(BubbleLook, HaloBodyAndRim) {
    const StateLook& look = GetParam();
    const Drawing drawing = bubbleDrawing(look.state, false, 0, bounds);
    EXPECT_EQ(shapeAt<GlowingOval>(drawing, 0), (GlowingOval{{6, 6, 34, 34}, look.halo, look.haloBlur}));
    EXPECT_EQ(shapeAt<FilledOval>(drawing, 1), (FilledOval{{4, 4, 38, 38}, look.body}));
    EXPECT_EQ(shapeAt<StrokedOval>(drawing, 2), (StrokedOval{{4, 4, 38, 38}, {Colour::white(1, look.rimAlpha), 0.8}}));
}

INSTANTIATE_TEST_SUITE_P(
    States, BubbleLook,
    ::testing::Values(StateLook{BubbleState::idle, Colour::white(0.02, 0.18), 8, Colour::white(0.03, 0.48), 0.14},
                      StateLook{BubbleState::listening, Colour::white(0, 0.42), 12, Colour::white(0.015, 0.92), 0.26},
                      StateLook{BubbleState::processing, Colour::white(0, 0.34), 12, Colour::white(0.04, 0.84), 0.26},
                      StateLook{BubbleState::success, Colour::white(0, 0.32), 12, Colour::white(0.015, 0.9), 0.26},
                      StateLook{BubbleState::error, {0.9, 0.12, 0.12, 0.26}, 12, {0.18, 0.03, 0.03, 0.9}, 0.26}),
    [](const auto& info) { return std::string(toString(info.param.state)); });

TEST(BubbleDrawing, GlyphOfEachState) {
    const Point c{23, 23};
    const Drawing idle = bubbleDrawing(BubbleState::idle, false, 5, bounds);
    ASSERT_EQ(idle.size(), 6u);
    // Idle bars are still, whatever the phase.
    EXPECT_EQ(shapeAt<FilledRoundedRect>(idle, 3),
              icon::levelBars({6, 6, 34, 34}, Colour::white(1, 0.68), false)[0]);

    const Drawing processing = bubbleDrawing(BubbleState::processing, false, 0, bounds);
    EXPECT_EQ(processing.back(), Shape(StrokedArc{c, 11, 20, 300, {Colour::white(1, 0.82), 2.2}}));

    const Drawing success = bubbleDrawing(BubbleState::success, false, 0, bounds);
    EXPECT_EQ(success.back(), Shape(StrokedPath{{{{15, 24}, {21, 30}, {32, 16}}},
                                                {Colour::white(1, 0.92), 2.6, LineCap::round, LineJoin::round}}));

    const Drawing error = bubbleDrawing(BubbleState::error, false, 0, bounds);
    // One path of two lines: the crossing is not brighter than the arms.
    EXPECT_EQ(error.back(), Shape(StrokedPath{{{{15, 15}, {31, 31}}, {{31, 15}, {15, 31}}}, {Colour::white(1, 0.9), 2.8}}));
}

TEST(BubbleDrawing, HoverBrightensIdleOnlyAndChangesNothingElse) {
    const Drawing hovered = bubbleDrawing(BubbleState::idle, true, 0, bounds);
    EXPECT_EQ(shapeAt<GlowingOval>(hovered, 0), (GlowingOval{{6, 6, 34, 34}, Colour::white(0.02, 0.3), 12}));
    EXPECT_EQ(shapeAt<FilledOval>(hovered, 1).colour, Colour::white(0.03, 0.72));
    EXPECT_EQ(shapeAt<FilledRoundedRect>(hovered, 3).colour, Colour::white(1, 0.9));
    for (BubbleState state : allStates) {
        if (state == BubbleState::idle) continue;
        EXPECT_EQ(bubbleDrawing(state, true, 1.3, bounds), bubbleDrawing(state, false, 1.3, bounds)) << toString(state);
    }
}

void expectNear(const Rect& actual, const Rect& expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-9);
    EXPECT_NEAR(actual.y, expected.y, 1e-9);
    EXPECT_NEAR(actual.width, expected.width, 1e-9);
    EXPECT_NEAR(actual.height, expected.height, 1e-9);
}

TEST(LevelBars, ThreeCentredBarsWhoseHeightsBreatheOnlyWhenActive) {
    const Rect rect{0, 0, 100, 50};
    const auto still = icon::levelBars(rect, Colour::white(1, 1), false, 0);
    // Widths 9, gaps 12: the three bars span 51 points around x = 50.
    expectNear(still[0].rect, {24.5, 16.5, 9, 17});
    expectNear(still[1].rect, {45.5, 9, 9, 32});
    expectNear(still[2].rect, {66.5, 13.5, 9, 23});
    EXPECT_NEAR(still[0].cornerRadius, 4.5, 1e-9);
    EXPECT_EQ(icon::levelBars(rect, Colour::white(1, 1), false, 2.7), still);

    const auto moving = icon::levelBars(rect, Colour::white(1, 1), true, 0);
    EXPECT_DOUBLE_EQ(moving[0].rect.height, 0.97 * 0.34 * 50);
    for (const auto& bar : moving) EXPECT_DOUBLE_EQ(midY(bar.rect), 25);
    for (double phase = 0; phase < 7; phase += 0.42) {
        for (double offset : {0.0, 0.8, 1.6}) {
            EXPECT_GE(icon::barScale(true, phase, offset), 0.82);
            EXPECT_LE(icon::barScale(true, phase, offset), 1.12);
        }
    }
}

TEST(IconDrawings, StatusImagesAndAppMark) {
    EXPECT_EQ(icon::statusImageDrawing(BubbleState::listening), icon::statusImageDrawing(BubbleState::processing));
    const Drawing idle = icon::statusImageDrawing(BubbleState::idle);
    const Drawing busy = icon::statusImageDrawing(BubbleState::listening);
    ASSERT_EQ(idle.size(), 3u);
    for (std::size_t i = 0; i < idle.size(); ++i) {
        auto bar = std::get<FilledRoundedRect>(busy[i]);
        EXPECT_EQ(bar.colour, Colour::white(1, 0.94));
        bar.colour = Colour::white(1, 0.82);
        EXPECT_EQ(idle[i], Shape(bar));
    }
    EXPECT_EQ(std::get<StrokedPath>(icon::statusImageDrawing(BubbleState::error)[0]).stroke.colour, icon::red);

    EXPECT_DOUBLE_EQ(std::get<StrokedOval>(icon::appMarkDrawing(26)[1]).stroke.width, 1.04);
    EXPECT_DOUBLE_EQ(std::get<StrokedOval>(icon::appMarkDrawing(10)[1]).stroke.width, 0.7);
    EXPECT_EQ(std::get<FilledOval>(icon::appMarkDrawing(100)[0]), (FilledOval{{3, 3, 94, 94}, icon::ink}));
}

TEST(BubbleAnimation, RunsOnlyWhileListeningAndContinuesWhereItStopped) {
    BubbleViewModel model;
    for (BubbleState state : allStates) {
        model.setState(state);
        EXPECT_EQ(model.wantsAnimationTimer(), state == BubbleState::listening) << toString(state);
    }
    model.setState(BubbleState::listening);
    for (int tick = 0; tick < 5; ++tick) model.advanceAnimation();
    EXPECT_DOUBLE_EQ(model.phase(), 5 * 0.42);
    model.setState(BubbleState::processing);
    EXPECT_DOUBLE_EQ(model.phase(), 5 * 0.42);
    model.setState(BubbleState::listening);
    model.advanceAnimation();
    EXPECT_DOUBLE_EQ(model.phase(), 6 * 0.42);
    // The drawn bars follow the phase.
    const auto bars = icon::levelBars({6, 6, 34, 34}, Colour::white(1, 0.9), true, 6 * 0.42);
    EXPECT_EQ(model.drawing(bounds)[3], Shape(bars[0]));
}

struct RecordingDelegate : BubbleViewDelegate {
    std::vector<std::string> calls;
    void bubbleDidRequestToggle() override { calls.push_back("toggle"); }
    void bubbleDidMove(const Rect& frame) override { calls.push_back("move " + rectText(frame)); }
};

class BubbleDragTest : public ::testing::Test {
protected:
    void SetUp() override { model.setDelegate(delegate); }
    Point dragTo(Point pointer) { return model.mouseDragged(pointer, 46, 46, screens); }

    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    BubbleViewModel model;
    // Two screens side by side; the left one has a 30-point panel on top.
    ScreenLayout screens{{{0, 30, 1280, 994}, {1280, 0, 1920, 1080}}, 0};
};

TEST_F(BubbleDragTest, AClickWithoutMovementToggles) {
    model.mouseDown({500, 500}, {480, 480});
    model.mouseUp({480, 480, 46, 46});
    EXPECT_EQ(delegate->calls, std::vector<std::string>{"toggle"});
}

TEST_F(BubbleDragTest, MovesUpToTwoPointsStillClickButTheWindowFollows) {
    model.mouseDown({500, 500}, {480, 480});
    EXPECT_EQ(dragTo({502, 498}), (Point{482, 478}));
    EXPECT_FALSE(model.hasDragged());
    model.mouseUp({482, 478, 46, 46});
    EXPECT_EQ(delegate->calls, std::vector<std::string>{"toggle"});
}

TEST_F(BubbleDragTest, ThreePointsMakeADragThatReportsTheNewFrameEvenIfThePointerComesBack) {
    model.mouseDown({500, 500}, {480, 480});
    EXPECT_EQ(dragTo({500, 503}), (Point{480, 483}));
    EXPECT_TRUE(model.hasDragged());
    EXPECT_EQ(dragTo({500, 500}), (Point{480, 480}));
    model.mouseUp({480, 480, 46, 46});
    EXPECT_EQ(delegate->calls, std::vector<std::string>{"move {{480, 480}, {46, 46}}"});

    // The next press starts afresh.
    model.mouseDown({10, 40}, {0, 30});
    model.mouseUp({0, 30, 46, 46});
    EXPECT_EQ(delegate->calls.back(), "toggle");
}

TEST_F(BubbleDragTest, DraggingPastAnEdgeKeepsTheWholeBubbleInsideThatScreensVisibleArea) {
    model.mouseDown({100, 100}, {80, 80});
    EXPECT_EQ(dragTo({50, 45}), (Point{30, 30}));        // under the panel: stops below it
    EXPECT_EQ(dragTo({1279, 1023}), (Point{1234, 978}));  // bottom-right corner of the left screen
    EXPECT_EQ(dragTo({1290, 5}), (Point{1280, 0}));        // on the right screen now
    EXPECT_EQ(dragTo({3300, 1200}), (Point{1234, 978}));   // off every screen: the primary one
}

TEST_F(BubbleDragTest, WithoutScreensTheWindowGoesWhereThePointerTakesIt) {
    screens = {};
    model.mouseDown({100, 100}, {80, 80});
    EXPECT_EQ(dragTo({-400, 5000}), (Point{-420, 4980}));
}

TEST_F(BubbleDragTest, NothingHappensWhenTheDelegateIsGone) {
    model.mouseDown({500, 500}, {480, 480});
    delegate.reset();
    model.mouseUp({480, 480, 46, 46});  // no crash, nobody to tell
}

TEST(BubblePlacement, DefaultSavedAndOutOfScreenOrigins) {
    const ScreenLayout screens{{{1280, 0, 1920, 1080}, {0, 30, 1280, 994}}, 1};
    // Against the right edge of the primary screen, 22 points in, centred.
    EXPECT_EQ(initialBubbleFrame(std::nullopt, screens), (Rect{1280 - 46 - 22, 30 + 497 - 23, 46, 46}));
    // A saved origin wins, its size does not; kept 4 points from the edges.
    EXPECT_EQ(initialBubbleFrame(Rect{1500, 10, 220, 64}, screens), (Rect{1500, 10, 46, 46}));
    EXPECT_EQ(initialBubbleFrame(Rect{3190, 1075, 46, 46}, screens), (Rect{3150, 1030, 46, 46}));
    // On a screen that is gone: clamped into the primary one.
    EXPECT_EQ(initialBubbleFrame(Rect{5000, 300, 46, 46}, screens), (Rect{1280 - 46 - 4, 300, 46, 46}));
    // No screen at all.
    EXPECT_EQ(initialBubbleFrame(std::nullopt, {}), (Rect{800, 500, 46, 46}));
    EXPECT_EQ(initialBubbleFrame(Rect{-5000, 9000, 46, 46}, {}), (Rect{-5000, 9000, 46, 46}));
}

}  // namespace
}  // namespace tavlo
