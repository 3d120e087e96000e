#pragma once
// What the bubble draws in each state: a soft halo, a round body with a thin
// rim, and a white glyph (level bars, a spinner arc, a check mark or a
// cross). Each state has a colour of its own so it reads at a glance:
// listening is red with moving bars (with a white ring when hands-free, so
// letting go of a key is not expected to stop it), processing turns a blue
// arc, success is green and an error amber. Idle is the only state that
// lights up under the pointer.
//
// Without a compositing manager the window cannot be see-through: the body
// is then drawn opaque, with no halo, and the window cut to it.
#include "base/BubbleState.h"
#include "indicator/model/Drawing.h"

namespace tavlo {

// Everything the drawing depends on.
struct BubbleLook {
    BubbleState state = BubbleState::idle;
    // The dictation goes on until asked to stop (latched by a double tap,
    // started by the press trigger or a click), as opposed to a held key.
    bool handsFree = false;
    bool hover = false;
    // The animation's phase; moves the bars while listening and turns the
    // arc while processing.
    double phase = 0;
    // No compositor: nothing may be translucent.
    bool opaque = false;
};

// The colours and motion of one look: the table the drawing follows.
struct BubbleStyle {
    Colour halo;
    double haloBlur = 8;
    Colour body;
    Colour rim;
    Colour glyph;
    // The look changes with the phase, so the view needs a timer.
    bool animated = false;
    // A second, inner ring marks hands-free listening.
    bool ring = false;
};

BubbleStyle bubbleStyle(const BubbleLook& look);

// The round body inside the view's bounds: 38 points across in the standard
// 46 x 46 window, leaving room for the halo.
Rect bubbleCircle(const Rect& bounds);

// The part of the window kept without a compositor: the body, less its
// outermost point, whose antialiasing would show the black behind.
Rect bubbleWindowShape(const Rect& bounds);

Drawing bubbleDrawing(const BubbleLook& look, const Rect& bounds);

// The spinner arc's start angle at a phase: a full turn about every 1.1 s.
double processingArcStart(double phase);

}  // namespace tavlo
