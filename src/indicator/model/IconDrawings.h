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
// The dictation states' colours, shared by the bubble and the tray so both
// say the same at a glance, and strong enough on light and dark panels.
inline constexpr Colour listeningRed = Colour::rgb255(214, 52, 52);
inline constexpr Colour processingBlue = Colour::rgb255(112, 176, 255);
inline constexpr Colour successGreen = Colour::rgb255(38, 150, 84);
inline constexpr Colour errorAmber = Colour::rgb255(236, 150, 28);

// The tray image is a square of this many points.
inline constexpr double statusImageSize = 18;

// How tall a bar with phase offset `offset` is, relative to its resting
// height: 1 when still, between 0.82 and 1.12 while animated.
double barScale(bool active, double phase, double offset);

// Three rounded bars centred in `rect`; `phase` moves them only when `active`.
std::array<FilledRoundedRect, 3> levelBars(const Rect& rect, const Colour& colour, bool active, double phase = 0);

// The tray's image for a state, in an 18 x 18 square: a disc in the
// state's colour with a light rim, so it reads on light and dark panels
// alike, holding the state's glyph (bars, an arc, a check mark, a cross).
Drawing statusImageDrawing(BubbleState state);

// The round app mark in a size x size square.
Drawing appMarkDrawing(double size);

}  // namespace tavlo::icon
