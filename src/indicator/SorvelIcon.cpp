#include "indicator/SorvelIcon.h"

#include <QPainter>
#include <QPixmap>

#include <cmath>

#include "indicator/DrawingPainter.h"
#include "indicator/model/IconDrawings.h"

namespace tavlo::SorvelIcon {
namespace {

QImage render(const Drawing& drawing, qreal size, qreal devicePixelRatio) {
    const int pixels = static_cast<int>(std::ceil(size * devicePixelRatio));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintDrawing(painter, drawing);
    return image;
}

}  // namespace

void drawBars(QPainter& painter, const QRectF& rect, const QColor& color, bool active, qreal phase) {
    const Colour colour{color.redF(), color.greenF(), color.blueF(), color.alphaF()};
    const auto bars = icon::levelBars({rect.x(), rect.y(), rect.width(), rect.height()}, colour, active, phase);
    paintDrawing(painter, Drawing(bars.begin(), bars.end()));
}

QImage statusImage(BubbleState state, qreal devicePixelRatio) {
    return render(icon::statusImageDrawing(state), icon::statusImageSize, devicePixelRatio);
}

QImage appMark(qreal size, qreal devicePixelRatio) { return render(icon::appMarkDrawing(size), size, devicePixelRatio); }

QIcon statusIcon(BubbleState state) {
    QIcon icon;
    for (qreal ratio : {1.0, 2.0}) icon.addPixmap(QPixmap::fromImage(statusImage(state, ratio)));
    return icon;
}

QIcon appIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(appMark(size)));
    return icon;
}

}  // namespace tavlo::SorvelIcon
