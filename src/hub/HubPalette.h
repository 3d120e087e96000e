#pragma once
// The Home window's fixed dark colours: the same on every desktop theme, so
// the window looks like the bubble and the tray icon it belongs with.
#include <QColor>
#include <QString>

namespace tavlo::hub {

struct HubPalette {
    static QColor signalSurface();
    static QColor signalPanel();
    static QColor signalField();
    static QColor signalText();
    static QColor signalMuted();
    static QColor signalBorder();
    static QColor signalAccent() { return signalText(); }
    static QColor signalRed();

    static QColor window() { return signalSurface(); }
    static QColor sidebar() { return signalSurface(); }
    static QColor field() { return signalField(); }
    static QColor text() { return signalText(); }
    static QColor muted() { return signalMuted(); }
    static QColor border() { return signalBorder(); }
    static QColor selected();
    static QColor accent() { return signalAccent(); }
};

// A colour as a style-sheet value, alpha included.
QString css(const QColor& colour);
// The same colour at another opacity.
QColor withAlpha(QColor colour, double alpha);

}  // namespace tavlo::hub
