#include "hub/HubPalette.h"

namespace tavlo::hub {
namespace {

QColor grey(double white) { return QColor::fromRgbF(float(white), float(white), float(white)); }
QColor cream() { return QColor::fromRgbF(0.965f, 0.946f, 0.895f); }

}  // namespace

QColor HubPalette::signalSurface() { return grey(0.05); }
QColor HubPalette::signalPanel() { return grey(0.085); }
QColor HubPalette::signalField() { return grey(0.035); }
QColor HubPalette::signalText() { return cream(); }
QColor HubPalette::signalMuted() { return grey(0.68); }
QColor HubPalette::signalBorder() { return withAlpha(cream(), 0.18); }
QColor HubPalette::signalRed() { return grey(0.76); }
QColor HubPalette::selected() { return withAlpha(signalText(), 0.12); }

QColor withAlpha(QColor colour, double alpha) {
    colour.setAlphaF(float(alpha));
    return colour;
}

QString css(const QColor& colour) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue())
        .arg(QString::number(colour.alphaF(), 'f', 3));
}

}  // namespace tavlo::hub
