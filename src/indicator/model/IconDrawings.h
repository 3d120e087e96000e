#pragma once
// The program's small images as drawings: the three-bar level glyph shared
// by the bubble, the tray and the app mark; the tray's status image for each
// dictation state; and the round app mark.
#include <array>

#include "base/BubbleState.h"
#include "indicator/model/Drawing.h"

namespace tavlo::icon {

// The named colours of the program's images.
inline constexpr Colour ink = Colour::rgb255(16, 21, 16);
inline constexpr Colour paper = Colour::rgb255(246, 241, 229);
inline constexpr Colour accent = paper;
inline constexpr Colour red = Colour::rgb255(201, 69, 54);

// The tray image is a square of this many points.
inline constexpr double statusImageSize = 18;

// How tall a bar with phase offset `offset` is, relative to its resting
// height: 1 when still, between 0.82 and 1.12 while animated.
double barScale(bool active, double phase, double offset);

// Three rounded bars centred in `rect`; `phase` moves them only when `active`.
std::array<FilledRoundedRect, 3> levelBars(const Rect& rect, const Colour& colour, bool active, double phase = 0);

// The tray's image for a state, in an 18 x 18 square.
Drawing statusImageDrawing(BubbleState state);

// The round app mark in a size x size square.
Drawing appMarkDrawing(double size);

}  // namespace tavlo::icon
