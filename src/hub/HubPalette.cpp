#include "hub/HubPalette.h"

namespace tavlo::hub {

QColor qtColour(const Colour& colour) {
    return QColor::fromRgbF(float(colour.red), float(colour.green), float(colour.blue), float(colour.alpha));
}

QString css(const QColor& colour) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue())
        .arg(QString::number(colour.alphaF(), 'f', 3));
}

QString css(const Colour& colour) { return css(qtColour(colour)); }

}  // namespace tavlo::hub
