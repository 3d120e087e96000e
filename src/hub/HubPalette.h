#pragma once
// The Home window's colours for Qt: the model's fixed dark palette, the same
// on every desktop theme, as colours and style-sheet values.
#include <QColor>
#include <QString>

#include "hub/model/HubPalette.h"

namespace tavlo::hub {

QColor qtColour(const Colour& colour);
// A colour as a style-sheet value, alpha included.
QString css(const Colour& colour);
QString css(const QColor& colour);

}  // namespace tavlo::hub
