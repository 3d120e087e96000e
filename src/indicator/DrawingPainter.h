#pragma once
// Paints a drawing described by the core (the bubble, the tray images, the
// app mark) with QPainter, antialiased, at the painter's pixel ratio.
#include "indicator/model/Drawing.h"

class QPainter;

namespace tavlo {

void paintDrawing(QPainter& painter, const Drawing& drawing);

}  // namespace tavlo
