#include "indicator/model/BubbleDrawing.h"

#include <algorithm>

#include "indicator/model/IconDrawings.h"

namespace tavlo {
namespace {

struct Colours {
    Colour halo;
    Colour body;
};

Colours coloursFor(BubbleState state, bool hover) {
    switch (state) {
    case BubbleState::idle:
        return {Colour::white(0.02, hover ? 0.3 : 0.18), Colour::white(0.03, hover ? 0.72 : 0.48)};
    case BubbleState::listening: return {Colour::white(0, 0.42), Colour::white(0.015, 0.92)};
    case BubbleState::processing: return {Colour::white(0, 0.34), Colour::white(0.04, 0.84)};
    case BubbleState::success: return {Colour::white(0, 0.32), Colour::white(0.015, 0.9)};
    case BubbleState::error: return {{0.9, 0.12, 0.12, 0.26}, {0.18, 0.03, 0.03, 0.9}};
    }
    return {};
}

void addBars(Drawing& drawing, const Rect& rect, const Colour& colour, bool active, double phase) {
    for (const auto& bar : icon::levelBars(rect, colour, active, phase)) drawing.emplace_back(bar);
}

}  // namespace

Rect bubbleCircle(const Rect& bounds) {
    const double diameter = std::min(bounds.height - 8, 38.0);
    return {midX(bounds) - diameter / 2, midY(bounds) - diameter / 2, diameter, diameter};
}

Drawing bubbleDrawing(BubbleState state, bool hover, double phase, const Rect& bounds) {
    const Rect circle = bubbleCircle(bounds);
    const Point centre{midX(circle), midY(circle)};
    const bool idle = state == BubbleState::idle;
    const Colours colours = coloursFor(state, hover);
    const double haloBlur = hover || !idle ? 12 : 8;

    Drawing drawing{
        GlowingOval{insetRect(circle, 2), colours.halo, haloBlur},
        FilledOval{circle, colours.body},
        StrokedOval{circle, {Colour::white(1, idle ? 0.14 : 0.26), 0.8}},
    };
    switch (state) {
    case BubbleState::idle:
        addBars(drawing, insetRect(circle, 2), Colour::white(1, hover ? 0.9 : 0.68), false, 0);
        break;
    case BubbleState::listening: addBars(drawing, insetRect(circle, 2), Colour::white(1, 0.9), true, phase); break;
    case BubbleState::processing:
        drawing.emplace_back(StrokedArc{centre, 11, 20, 300, {Colour::white(1, 0.82), 2.2}});
        break;
    case BubbleState::success:
        drawing.emplace_back(
            StrokedPath{{{{centre.x - 8, centre.y + 1}, {centre.x - 2, centre.y + 7}, {centre.x + 9, centre.y - 7}}},
                        {Colour::white(1, 0.92), 2.6, LineCap::round, LineJoin::round}});
        break;
    case BubbleState::error:
        drawing.emplace_back(StrokedPath{{{{centre.x - 8, centre.y - 8}, {centre.x + 8, centre.y + 8}},
                                          {{centre.x + 8, centre.y - 8}, {centre.x - 8, centre.y + 8}}},
                                         {Colour::white(1, 0.9), 2.8}});
        break;
    }
    return drawing;
}

}  // namespace tavlo
