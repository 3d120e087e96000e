#pragma once
// The program's small images, drawn in code at the pixel ratio asked for so
// they stay sharp on dense screens: the tray's status image for each
// dictation state, the round app mark, and the three-bar level glyph they
// share with the bubble.
#include <QColor>
#include <QIcon>
#include <QImage>
#include <QRectF>

#include "base/BubbleState.h"

class QPainter;

namespace tavlo::SorvelIcon {

// Draws the level bars into `rect`; `phase` moves them only when `active`.
void drawBars(QPainter& painter, const QRectF& rect, const QColor& color, bool active, qreal phase = 0);

// An 18 x 18 point image; its pixels are `devicePixelRatio` times as many.
QImage statusImage(BubbleState state, qreal devicePixelRatio = 1);

// A size x size point image.
QImage appMark(qreal size, qreal devicePixelRatio = 1);

// The tray icon for a state, at 1x and 2x.
QIcon statusIcon(BubbleState state);

// The application icon at the sizes desktops ask for.
QIcon appIcon();

}  // namespace tavlo::SorvelIcon
