#include "app/desktop/QtDesktopServices.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QUrl>

namespace tavlo {

std::vector<Rect> QtDesktopServices::screenVisibleFrames() const {
    std::vector<Rect> frames;
    QScreen* primary = QGuiApplication::primaryScreen();
    auto add = [&frames](QScreen* screen) {
        const QRect area = screen->availableGeometry();
        frames.push_back({double(area.x()), double(area.y()), double(area.width()), double(area.height())});
    };
    if (primary) add(primary);
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != primary) add(screen);
    return frames;
}

bool QtDesktopServices::openURL(const std::string& url) {
    const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
    return address.isValid() && QDesktopServices::openUrl(address);
}

void QtDesktopServices::terminate() {
    // Leave the loop from the loop itself, after the current event, and
    // every dialog's loop with it.
    QTimer::singleShot(0, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
}

}  // namespace tavlo
