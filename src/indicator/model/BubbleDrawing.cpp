#include "indicator/model/BubbleDrawing.h"

#include <algorithm>
#include <cmath>

#include "indicator/model/IconDrawings.h"

namespace tavlo {
namespace {

using icon::errorAmber;
using icon::listeningRed;
using icon::processingBlue;
using icon::successGreen;

// Degrees the spinner turns per unit of phase: 0.42 per 80 ms tick makes
// about 330 degrees a second.
constexpr double arcDegreesPerPhase = 62;
constexpr double arcSweep = 270;

void addBars(Drawing& drawing, const Rect& rect, const Colour& colour, bool active, double phase) {
    for (const auto& bar : icon::levelBars(rect, colour, active, phase)) drawing.emplace_back(bar);
}

}  // namespace

BubbleStyle bubbleStyle(const BubbleLook& look) {
    BubbleStyle style;
    const bool hover = look.hover && look.state == BubbleState::idle;
    switch (look.state) {
    case BubbleState::idle:
        style.halo = Colour::white(0.02, hover ? 0.3 : 0.18);
        style.haloBlur = hover ? 12 : 8;
        style.body = look.opaque ? Colour::white(hover ? 0.24 : 0.16, 1) : Colour::white(0.03, hover ? 0.72 : 0.48);
        style.rim = Colour::white(1, look.opaque ? 0.45 : 0.14);
        style.glyph = Colour::white(1, hover ? 0.9 : 0.68);
        break;
    case BubbleState::listening:
        style.halo = listeningRed.withAlpha(0.5);
        style.haloBlur = 12;
        style.body = listeningRed.withAlpha(0.96);
        style.rim = Colour::white(1, 0.5);
        style.glyph = Colour::white(1, 0.97);
        style.animated = true;
        style.ring = look.handsFree;
        break;
    case BubbleState::processing:
        style.halo = processingBlue.withAlpha(0.34);
        style.haloBlur = 12;
        style.body = Colour::white(0.08, 0.92);
        style.rim = processingBlue.withAlpha(0.55);
        style.glyph = processingBlue;
        style.animated = true;
        break;
    case BubbleState::success:
        style.halo = successGreen.withAlpha(0.4);
        style.haloBlur = 12;
        style.body = successGreen.withAlpha(0.96);
        style.rim = Colour::white(1, 0.5);
        style.glyph = Colour::white(1, 0.97);
        break;
    case BubbleState::error:
        style.halo = errorAmber.withAlpha(0.45);
        style.haloBlur = 12;
        style.body = errorAmber.withAlpha(0.97);
        style.rim = Colour::white(1, 0.5);
        style.glyph = icon::ink;
        break;
    }
    if (look.opaque) style.body = style.body.withAlpha(1);
    return style;
}

Rect bubbleCircle(const Rect& bounds) {
    const double diameter = std::min(bounds.height - 8, 38.0);
    return {midX(bounds) - diameter / 2, midY(bounds) - diameter / 2, diameter, diameter};
}

Rect bubbleWindowShape(const Rect& bounds) { return insetRect(bubbleCircle(bounds), 1); }

double processingArcStart(double phase) { return std::fmod(20 + phase * arcDegreesPerPhase, 360.0); }

Drawing bubbleDrawing(const BubbleLook& look, const Rect& bounds) {
    const Rect circle = bubbleCircle(bounds);
    const Point centre{midX(circle), midY(circle)};
    const BubbleStyle style = bubbleStyle(look);

    Drawing drawing;
    // Without a compositor the halo would fall outside the window's shape.
    if (!look.opaque) drawing.emplace_back(GlowingOval{insetRect(circle, 2), style.halo, style.haloBlur});
    drawing.emplace_back(FilledOval{circle, style.body});
    // Opaque, the rim is drawn inside the cut so the edge stays light.
    drawing.emplace_back(StrokedOval{look.opaque ? insetRect(circle, 1) : circle, {style.rim, look.opaque ? 1.2 : 0.8}});
    if (style.ring) drawing.emplace_back(StrokedOval{insetRect(circle, 3.5), {Colour::white(1, 0.95), 1.8}});

    switch (look.state) {
    case BubbleState::idle: addBars(drawing, insetRect(circle, 2), style.glyph, false, 0); break;
    case BubbleState::listening: addBars(drawing, insetRect(circle, 2), style.glyph, true, look.phase); break;
    case BubbleState::processing: {
        // A faint full track under a turning arc: it never looks frozen.
        drawing.emplace_back(StrokedOval{{centre.x - 11, centre.y - 11, 22, 22}, {style.glyph.withAlpha(0.22), 2.6}});
        const double start = processingArcStart(look.phase);
        drawing.emplace_back(StrokedArc{centre, 11, start, start + arcSweep, {style.glyph, 2.6, LineCap::round}});
        break;
    }
    case BubbleState::success:
        drawing.emplace_back(
            StrokedPath{{{{centre.x - 8, centre.y + 1}, {centre.x - 2, centre.y + 7}, {centre.x + 9, centre.y - 7}}},
                        {style.glyph, 2.8, LineCap::round, LineJoin::round}});
        break;
    case BubbleState::error:
        drawing.emplace_back(StrokedPath{{{{centre.x - 7, centre.y - 7}, {centre.x + 7, centre.y + 7}},
                                          {{centre.x + 7, centre.y - 7}, {centre.x - 7, centre.y + 7}}},
                                         {style.glyph, 3, LineCap::round}});
        break;
    }
    return drawing;
}

}  // namespace tavlo
