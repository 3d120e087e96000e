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
    switch (state) {
    case BubbleState::error: {
        return {StrokedPath{{{{5.04, 5.04}, {12.96, 12.96}}, {{12.96, 5.04}, {5.04, 12.96}}}, {red, 2.2, LineCap::round}}};
    }
    case BubbleState::success:
        // The bubble's check mark: a short stroke down to the right, then a
        // long one up to the right.
        return {StrokedPath{{{{4.14, 9.54}, {7.74, 12.96}, {14.04, 5.04}}},
                            {Colour::white(1, 0.94), 2.3, LineCap::round, LineJoin::round}}};
    case BubbleState::idle:
    case BubbleState::listening:
    case BubbleState::processing: {
        const Colour fill = Colour::white(1, state == BubbleState::idle ? 0.82 : 0.94);
        // Vertically centred bars (the same whichever way y points).
        return {FilledRoundedRect{{3, 5.5, 2.4, 7}, 1.2, fill}, FilledRoundedRect{{7.8, 2.5, 2.4, 13}, 1.2, fill},
                FilledRoundedRect{{12.6, 4.5, 2.4, 9}, 1.2, fill}};
    }
    }
    return {};
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
