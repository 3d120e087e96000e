#include "indicator/model/IconDrawings.h"

#include <algorithm>
#include <cmath>

namespace tavlo::icon {
namespace {

// Three bars side by side, centred in `rect`, with widths and gaps as
// fractions of its width and heights as fractions of its height.
std::array<FilledRoundedRect, 3> threeBars(const Rect& rect, const Colour& colour, double barFraction,
                                           double gapFraction, const std::array<double, 3>& heights) {
    const double barWidth = barFraction * rect.width;
    const double gap = gapFraction * rect.width;
    const double left = midX(rect) - (3 * barWidth + 2 * gap) / 2;
    std::array<FilledRoundedRect, 3> bars;
    for (std::size_t index = 0; index < bars.size(); ++index) {
        const double height = heights[index] * rect.height;
        bars[index] = {{left + static_cast<double>(index) * (barWidth + gap), midY(rect) - height / 2, barWidth, height},
                       barWidth / 2,
                       colour};
    }
    return bars;
}

}  // namespace

double barScale(bool active, double phase, double offset) {
    if (!active) return 1;
    return ((std::sin(phase + offset) + 1) * 0.5) * 0.3 + 0.82;
}

std::array<FilledRoundedRect, 3> levelBars(const Rect& rect, const Colour& colour, bool active, double phase) {
    return threeBars(rect, colour, 0.09, 0.12,
                     {barScale(active, phase, 0) * 0.34, barScale(active, phase, 0.8) * 0.64,
                      barScale(active, phase, 1.6) * 0.46});
}

Drawing statusImageDrawing(BubbleState state) {
    const Rect square{0, 0, statusImageSize, statusImageSize};
    const Rect disc = insetRect(square, 0.75);
    const Point centre{midX(square), midY(square)};
    Colour fill = ink;
    switch (state) {
    case BubbleState::idle:
    case BubbleState::processing: fill = ink; break;
    case BubbleState::listening: fill = listeningRed; break;
    case BubbleState::success: fill = successGreen; break;
    case BubbleState::error: fill = errorAmber; break;
    }
    // The light rim keeps a dark disc visible on a dark panel; the disc
    // itself stands out on a light one.
    Drawing drawing{FilledOval{disc, fill}, StrokedOval{insetRect(disc, 0.6), {paper.withAlpha(0.75), 1.2}}};
    switch (state) {
    case BubbleState::idle:
    case BubbleState::listening:
        for (const auto& bar : threeBars(insetRect(square, 4), state == BubbleState::idle ? paper : Colour::white(1, 1),
                                         0.17, 0.16, {0.42, 0.84, 0.6}))
            drawing.emplace_back(bar);
        break;
    case BubbleState::processing:
        drawing.emplace_back(StrokedArc{centre, 4.6, 20, 290, {processingBlue, 2, LineCap::round}});
        break;
    case BubbleState::success:
        drawing.emplace_back(StrokedPath{{{{centre.x - 4, centre.y + 0.5}, {centre.x - 1.2, centre.y + 3.3}, {centre.x + 4.3, centre.y - 3.2}}},
                                         {Colour::white(1, 1), 2, LineCap::round, LineJoin::round}});
        break;
    case BubbleState::error:
        drawing.emplace_back(StrokedPath{{{{centre.x - 3.4, centre.y - 3.4}, {centre.x + 3.4, centre.y + 3.4}},
                                          {{centre.x + 3.4, centre.y - 3.4}, {centre.x - 3.4, centre.y + 3.4}}},
                                         {ink, 2, LineCap::round}});
        break;
    }
    return drawing;
}

Drawing appMarkDrawing(double size) {
    const Rect square{0, 0, size, size};
    const Rect inner = insetRect(square, 0.03 * size);
    Drawing drawing{FilledOval{inner, ink},
                    StrokedOval{insetRect(square, 0.07 * size), {paper.withAlpha(0.2), std::max(0.04 * size, 0.7)}}};
    for (const auto& bar : threeBars(inner, accent, 0.12, 0.15, {0.36, 0.7, 0.5})) drawing.emplace_back(bar);
    return drawing;
}

}  // namespace tavlo::icon
