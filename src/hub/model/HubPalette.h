#pragma once
// The hub's fixed dark colours. Grey g is a grey of white level g; cream is
// the warm off-white of text and accents.
#include "indicator/model/Drawing.h"

namespace tavlo::HubPalette {

inline constexpr Colour cream{0.965, 0.946, 0.895, 1};

inline constexpr Colour signalSurface = Colour::white(0.05, 1);
inline constexpr Colour signalPanel = Colour::white(0.085, 1);
inline constexpr Colour signalField = Colour::white(0.035, 1);
inline constexpr Colour signalText = cream;
inline constexpr Colour signalMuted = Colour::white(0.68, 1);
inline constexpr Colour signalBorder = cream.withAlpha(0.18);
inline constexpr Colour signalAccent = signalText;
inline constexpr Colour signalRed = Colour::white(0.76, 1);

inline constexpr Colour window = signalSurface;
inline constexpr Colour sidebar = signalSurface;
inline constexpr Colour field = signalField;
inline constexpr Colour text = signalText;
inline constexpr Colour muted = signalMuted;
inline constexpr Colour border = signalBorder;
inline constexpr Colour selected = signalText.withAlpha(0.12);
inline constexpr Colour accent = signalAccent;

// The keyboard focus ring: a blue that stands out from the dark surfaces and
// from the cream of a selected choice alike.
inline constexpr Colour focusRing{0.35, 0.63, 1.0, 1};

// Error messages: a red that reads on the dark surfaces.
inline constexpr Colour errorText{1.0, 0.45, 0.42, 1};

// Panel shadow: black at this alpha.
inline constexpr Colour panelShadow{0, 0, 0, 0.16};

}  // namespace tavlo::HubPalette
