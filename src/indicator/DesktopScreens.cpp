#include "indicator/DesktopScreens.h"

#include <QGuiApplication>
#include <QScreen>

namespace tavlo {

ScreenLayout desktopScreenLayout() {
    ScreenLayout layout;
    const QScreen* primary = QGuiApplication::primaryScreen();
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect area = screen->availableGeometry();
        if (screen == primary) layout.primary = layout.visibleFrames.size();
        layout.visibleFrames.push_back({static_cast<double>(area.x()), static_cast<double>(area.y()),
                                        static_cast<double>(area.width()), static_cast<double>(area.height())});
    }
    return layout;
}

}  // namespace tavlo
