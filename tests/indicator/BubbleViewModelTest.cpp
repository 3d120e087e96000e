// The bubble without a window: what it draws in each state, hover, the
// animation, click versus drag, and keeping it on screen.
#include <gtest/gtest.h>

#include <algorithm>
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

// One look of the bubble and what it must show: the body's colour, whether
// it moves, and the hands-free ring.
struct LookCase {
    const char* name;
    BubbleLook look;
    Colour body;
    bool animated;
    bool ring;
};

const std::vector<LookCase>& lookCases() {
    static const std::vector<LookCase> cases = {
        {"idle", {BubbleState::idle}, Colour::white(0.03, 0.48), false, false},
        {"idle under the pointer", {BubbleState::idle, false, true}, Colour::white(0.03, 0.72), false, false},
        {"listening while a key is held", {BubbleState::listening}, icon::listeningRed.withAlpha(0.96), true, false},
        {"listening hands-free", {BubbleState::listening, true}, icon::listeningRed.withAlpha(0.96), true, true},
        {"processing", {BubbleState::processing}, Colour::white(0.08, 0.92), true, false},
        {"success", {BubbleState::success}, icon::successGreen.withAlpha(0.96), false, false},
        {"error", {BubbleState::error}, icon::errorAmber.withAlpha(0.97), false, false},
    };
    return cases;
}

std::size_t countOf(const Drawing& drawing, auto predicate) {
    return static_cast<std::size_t>(std::count_if(drawing.begin(), drawing.end(), predicate));
}

TEST(BubbleDrawing, EachStateHasItsColourMotionAndRing) {
    for (const auto& row : lookCases()) {
        SCOPED_TRACE(row.name);
        const BubbleStyle style = bubbleStyle(row.look);
        EXPECT_EQ(style.body, row.body);
        EXPECT_EQ(style.animated, row.animated);
        const Drawing drawing = bubbleDrawing(row.look, bounds);
        EXPECT_EQ(shapeAt<GlowingOval>(drawing, 0).rect, (Rect{6, 6, 34, 34}));
        EXPECT_EQ(shapeAt<FilledOval>(drawing, 1), (FilledOval{{4, 4, 38, 38}, row.body}));
        // The ring is a second, white oval inside the rim.
        const auto whiteRings = countOf(drawing, [](const Shape& shape) {
            const auto* oval = std::get_if<StrokedOval>(&shape);
            return oval && oval->stroke.colour.red == 1 && oval->stroke.colour.alpha > 0.9;
        });
        EXPECT_EQ(whiteRings, row.ring ? 1u : 0u);
        // A moving look draws differently a tick later; a still one never.
        BubbleLook later = row.look;
        later.phase += BubbleViewModel::phaseStep;
        EXPECT_EQ(bubbleDrawing(later, bounds) != drawing, row.animated);
    }
}

TEST(BubbleDrawing, NoTwoStatesLookAlike) {
    const auto& cases = lookCases();
    for (std::size_t a = 0; a < cases.size(); ++a)
        for (std::size_t b = a + 1; b < cases.size(); ++b)
            EXPECT_NE(bubbleDrawing(cases[a].look, bounds), bubbleDrawing(cases[b].look, bounds))
                << cases[a].name << " / " << cases[b].name;
    // Listening and error are told apart by colour, not only by glyph.
    EXPECT_NE(bubbleStyle({BubbleState::listening}).body, bubbleStyle({BubbleState::error}).body);
    // Hands-free is a kind of listening: no ring in any other state.
    for (BubbleState state : allStates) {
        if (state == BubbleState::listening) continue;
        EXPECT_EQ(bubbleDrawing({state, true}, bounds), bubbleDrawing({state, false}, bounds)) << toString(state);
    }
}

TEST(BubbleDrawing, WithoutACompositorNothingIsTranslucentAndTheWindowIsCutInsideTheBody) {
    for (const auto& row : lookCases()) {
        SCOPED_TRACE(row.name);
        BubbleLook look = row.look;
        look.opaque = true;
        const Drawing drawing = bubbleDrawing(look, bounds);
        // No halo: it would lie outside the window's shape, on black.
        EXPECT_EQ(countOf(drawing, [](const Shape& shape) { return std::holds_alternative<GlowingOval>(shape); }), 0u);
        const auto& body = shapeAt<FilledOval>(drawing, 0);
        EXPECT_EQ(body.rect, bubbleCircle(bounds));
        EXPECT_EQ(body.colour.alpha, 1);
        EXPECT_EQ(bubbleStyle(look).animated, row.animated);
    }
    // Idle stays a dark grey disc, but not black.
    EXPECT_GT(bubbleStyle({BubbleState::idle, false, false, 0, true}).body.red, 0.1);
    const Rect shape = bubbleWindowShape(bounds);
    EXPECT_EQ(shape, (Rect{5, 5, 36, 36}));
}

TEST(BubbleDrawing, GlyphOfEachState) {
    const Point c{23, 23};
    const Drawing idle = bubbleDrawing({BubbleState::idle, false, false, 5}, bounds);
    ASSERT_EQ(idle.size(), 6u);
    // Idle bars are still, whatever the phase.
    EXPECT_EQ(shapeAt<FilledRoundedRect>(idle, 3), icon::levelBars({6, 6, 34, 34}, Colour::white(1, 0.68), false)[0]);

    // The arc turns with the phase, about a full turn a second.
    const auto arcAt = [&](double phase) {
        return std::get<StrokedArc>(bubbleDrawing({BubbleState::processing, false, false, phase}, bounds).back());
    };
    EXPECT_EQ(arcAt(0).centre, c);
    EXPECT_DOUBLE_EQ(arcAt(0).startDegrees, 20);
    EXPECT_DOUBLE_EQ(arcAt(0).endDegrees - arcAt(0).startDegrees, 270);
    const double perSecond = (1000.0 / BubbleViewModel::animationInterval.count()) * BubbleViewModel::phaseStep * 62;
    EXPECT_GT(perSecond, 300);
    EXPECT_LT(arcAt(100).startDegrees, 360);

    const Drawing success = bubbleDrawing({BubbleState::success}, bounds);
    EXPECT_EQ(std::get<StrokedPath>(success.back()).lines, (std::vector<std::vector<Point>>{{{15, 24}, {21, 30}, {32, 16}}}));

    const Drawing error = bubbleDrawing({BubbleState::error}, bounds);
    // One path of two lines: the crossing is not darker than the arms.
    const auto& cross = std::get<StrokedPath>(error.back());
    EXPECT_EQ(cross.lines.size(), 2u);
    EXPECT_EQ(cross.stroke.colour, icon::ink);
}

TEST(BubbleDrawing, HoverBrightensIdleOnlyAndChangesNothingElse) {
    const Drawing hovered = bubbleDrawing({BubbleState::idle, false, true}, bounds);
    EXPECT_EQ(shapeAt<GlowingOval>(hovered, 0), (GlowingOval{{6, 6, 34, 34}, Colour::white(0.02, 0.3), 12}));
    EXPECT_EQ(shapeAt<FilledRoundedRect>(hovered, 3).colour, Colour::white(1, 0.9));
    for (BubbleState state : allStates) {
        if (state == BubbleState::idle) continue;
        EXPECT_EQ(bubbleDrawing({state, false, true, 1.3}, bounds), bubbleDrawing({state, false, false, 1.3}, bounds))
            << toString(state);
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

TEST(IconDrawings, EachStatusImageIsItsOwnAndTheAppMarkKeepsItsRim) {
    // Listening and processing show in the tray as well: every state differs.
    for (std::size_t a = 0; a < std::size(allStates); ++a)
        for (std::size_t b = a + 1; b < std::size(allStates); ++b)
            EXPECT_NE(icon::statusImageDrawing(allStates[a]), icon::statusImageDrawing(allStates[b]))
                << toString(allStates[a]) << " / " << toString(allStates[b]);
    // Each is a disc in the state's colour under a light rim.
    EXPECT_EQ(std::get<FilledOval>(icon::statusImageDrawing(BubbleState::listening)[0]).colour, icon::listeningRed);
    EXPECT_EQ(std::get<FilledOval>(icon::statusImageDrawing(BubbleState::idle)[0]).colour, icon::ink);
    for (BubbleState state : allStates)
        EXPECT_EQ(std::get<StrokedOval>(icon::statusImageDrawing(state)[1]).stroke.colour.red, icon::paper.red);

    EXPECT_DOUBLE_EQ(std::get<StrokedOval>(icon::appMarkDrawing(26)[1]).stroke.width, 1.04);
    EXPECT_DOUBLE_EQ(std::get<StrokedOval>(icon::appMarkDrawing(10)[1]).stroke.width, 0.7);
    EXPECT_EQ(std::get<FilledOval>(icon::appMarkDrawing(100)[0]), (FilledOval{{3, 3, 94, 94}, icon::ink}));
}

TEST(BubbleAnimation, RunsWhileListeningOrProcessingAndContinuesWhereItStopped) {
    BubbleViewModel model;
    for (BubbleState state : allStates) {
        model.setState(state);
        EXPECT_EQ(model.wantsAnimationTimer(), state == BubbleState::listening || state == BubbleState::processing)
            << toString(state);
    }
    model.setState(BubbleState::listening);
    for (int tick = 0; tick < 5; ++tick) model.advanceAnimation();
    EXPECT_DOUBLE_EQ(model.phase(), 5 * 0.42);
    model.setState(BubbleState::success);
    EXPECT_DOUBLE_EQ(model.phase(), 5 * 0.42);
    model.setState(BubbleState::listening);
    model.advanceAnimation();
    EXPECT_DOUBLE_EQ(model.phase(), 6 * 0.42);
    // The drawn bars follow the phase.
    const auto bars = icon::levelBars({6, 6, 34, 34}, Colour::white(1, 0.97), true, 6 * 0.42);
    EXPECT_EQ(model.drawing(bounds)[3], Shape(bars[0]));
    // Hands-free and the opaque fallback reach the drawing.
    model.setHandsFree(true);
    model.setOpaque(true);
    EXPECT_EQ(model.drawing(bounds), bubbleDrawing({BubbleState::listening, true, false, 6 * 0.42, true}, bounds));
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
