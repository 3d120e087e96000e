#include "indicator/DrawingPainter.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>

#include <algorithm>
#include <cmath>
#include <list>
#include <vector>

namespace tavlo {
namespace {

QColor toQColor(const Colour& colour) { return QColor::fromRgbF(colour.red, colour.green, colour.blue, colour.alpha); }
QRectF toQRect(const Rect& rect) { return {rect.x, rect.y, rect.width, rect.height}; }

QPen toPen(const Stroke& stroke) {
    QPen pen(toQColor(stroke.colour), stroke.width);
    pen.setCapStyle(stroke.cap == LineCap::round ? Qt::RoundCap : Qt::FlatCap);
    pen.setJoinStyle(stroke.join == LineJoin::round ? Qt::RoundJoin : Qt::MiterJoin);
    return pen;
}

// Blurs a single-channel image in place with a Gaussian of `sigma` pixels,
// one direction at a time.
void gaussianBlur(std::vector<float>& values, int width, int height, double sigma) {
    const int radius = static_cast<int>(std::ceil(3 * sigma));
    std::vector<float> kernel(static_cast<std::size_t>(2 * radius + 1));
    float sum = 0;
    for (int k = -radius; k <= radius; ++k) {
        const auto weight = static_cast<float>(std::exp(-(k * k) / (2 * sigma * sigma)));
        kernel[static_cast<std::size_t>(k + radius)] = weight;
        sum += weight;
    }
    for (float& weight : kernel) weight /= sum;

    std::vector<float> pass(values.size());
    auto at = [&](const std::vector<float>& image, int x, int y) {
        return x < 0 || y < 0 || x >= width || y >= height ? 0.0f
                                                            : image[static_cast<std::size_t>(y * width + x)];
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float total = 0;
            for (int k = -radius; k <= radius; ++k) total += kernel[static_cast<std::size_t>(k + radius)] * at(values, x + k, y);
            pass[static_cast<std::size_t>(y * width + x)] = total;
        }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float total = 0;
            for (int k = -radius; k <= radius; ++k) total += kernel[static_cast<std::size_t>(k + radius)] * at(pass, x, y + k);
            values[static_cast<std::size_t>(y * width + x)] = total;
        }
}

// The glow of an oval: its blurred shape in its colour. A translucent shape
// casts a shadow as translucent as itself, so the colour's alpha counts
// twice, once for the shape and once for the shadow.
QImage glowImage(const GlowingOval& glow, double pixelRatio, double margin) {
    const QSizeF logical(glow.rect.width + 2 * margin, glow.rect.height + 2 * margin);
    const int width = static_cast<int>(std::ceil(logical.width() * pixelRatio));
    const int height = static_cast<int>(std::ceil(logical.height() * pixelRatio));
    QImage shape(width, height, QImage::Format_Alpha8);
    shape.fill(0);
    {
        QPainter painter(&shape);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(pixelRatio, pixelRatio);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawEllipse(QRectF(margin, margin, glow.rect.width, glow.rect.height));
    }
    std::vector<float> coverage(static_cast<std::size_t>(width * height));
    for (int y = 0; y < height; ++y) {
        const uchar* line = shape.constScanLine(y);
        for (int x = 0; x < width; ++x) coverage[static_cast<std::size_t>(y * width + x)] = line[x] / 255.0f;
    }
    gaussianBlur(coverage, width, height, glow.blurRadius / 2 * pixelRatio);

    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    const double alpha = glow.colour.alpha * glow.colour.alpha;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double a = std::clamp(coverage[static_cast<std::size_t>(y * width + x)] * alpha, 0.0, 1.0);
            line[x] = qRgba(static_cast<int>(std::lround(glow.colour.red * a * 255)),
                            static_cast<int>(std::lround(glow.colour.green * a * 255)),
                            static_cast<int>(std::lround(glow.colour.blue * a * 255)),
                            static_cast<int>(std::lround(a * 255)));
        }
    }
    image.setDevicePixelRatio(pixelRatio);
    return image;
}

// The glow only changes with the bubble's state and hover, so the few
// images in use are kept rather than blurred again at every frame.
const QImage& cachedGlowImage(const GlowingOval& glow, double pixelRatio, double margin) {
    struct Entry {
        GlowingOval glow;
        double pixelRatio;
        QImage image;
    };
    static std::list<Entry> cache;
    for (auto it = cache.begin(); it != cache.end(); ++it)
        if (it->glow == glow && it->pixelRatio == pixelRatio) {
            cache.splice(cache.begin(), cache, it);
            return cache.front().image;
        }
    cache.push_front({glow, pixelRatio, glowImage(glow, pixelRatio, margin)});
    if (cache.size() > 12) cache.pop_back();
    return cache.front().image;
}

void paintGlow(QPainter& painter, const GlowingOval& glow) {
    if (glow.blurRadius > 0) {
        const double margin = std::ceil(1.5 * glow.blurRadius);
        const double pixelRatio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
        painter.drawImage(QPointF(glow.rect.x - margin, glow.rect.y - margin),
                          cachedGlowImage(glow, pixelRatio, margin));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(toQColor(glow.colour));
    painter.drawEllipse(toQRect(glow.rect));
}

struct ShapePainter {
    QPainter& painter;

    void operator()(const GlowingOval& glow) const { paintGlow(painter, glow); }
    void operator()(const FilledOval& oval) const {
        painter.setPen(Qt::NoPen);
        painter.setBrush(toQColor(oval.colour));
        painter.drawEllipse(toQRect(oval.rect));
    }
    void operator()(const StrokedOval& oval) const {
        painter.setPen(toPen(oval.stroke));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(toQRect(oval.rect));
    }
    void operator()(const FilledRoundedRect& bar) const {
        painter.setPen(Qt::NoPen);
        painter.setBrush(toQColor(bar.colour));
        painter.drawRoundedRect(toQRect(bar.rect), bar.cornerRadius, bar.cornerRadius);
    }
    void operator()(const StrokedPath& shape) const {
        QPainterPath path;
        for (const auto& line : shape.lines) {
            if (line.empty()) continue;
            path.moveTo(line.front().x, line.front().y);
            for (std::size_t i = 1; i < line.size(); ++i) path.lineTo(line[i].x, line[i].y);
        }
        // Qt strokes each line on its own, so a translucent crossing would be
        // painted twice; the united outline is filled once instead.
        QPainterPathStroker stroker(toPen(shape.stroke));
        painter.fillPath(stroker.createStroke(path).simplified(), toQColor(shape.stroke.colour));
    }
    void operator()(const StrokedArc& arc) const {
        // Qt's angles grow counter-clockwise on screen; ours grow clockwise
        // (towards y, which points down), hence the negated angles.
        const QRectF box(arc.centre.x - arc.radius, arc.centre.y - arc.radius, 2 * arc.radius, 2 * arc.radius);
        QPainterPath path;
        path.arcMoveTo(box, -arc.startDegrees);
        path.arcTo(box, -arc.startDegrees, -(arc.endDegrees - arc.startDegrees));
        painter.setPen(toPen(arc.stroke));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
    }
};

}  // namespace

void paintDrawing(QPainter& painter, const Drawing& drawing) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    for (const Shape& shape : drawing) std::visit(ShapePainter{painter}, shape);
    painter.restore();
}

}  // namespace tavlo
