#pragma once
// A drawing described as plain values: the bubble, the tray images and the
// app mark are lists of these shapes, so tests can check what is drawn
// without a display, and the Qt views only paint them.
//
// Coordinates have their origin at the top-left, y grows downward.
#include <variant>
#include <vector>

#include "base/BubbleFrameText.h"

namespace tavlo {

struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

// sRGB components and alpha, each 0..1.
struct Colour {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;
    static constexpr Colour white(double level, double alpha) { return {level, level, level, alpha}; }
    static constexpr Colour rgb255(int red, int green, int blue) { return {red / 255.0, green / 255.0, blue / 255.0, 1}; }
    constexpr Colour withAlpha(double newAlpha) const { return {red, green, blue, newAlpha}; }
    bool operator==(const Colour&) const = default;
};

enum class LineCap { butt, round };
enum class LineJoin { miter, round };

struct Stroke {
    Colour colour;
    double width = 1;
    LineCap cap = LineCap::butt;
    LineJoin join = LineJoin::miter;
    bool operator==(const Stroke&) const = default;
};

// An oval filled with a colour that also casts a soft glow of the same colour
// around itself (a shadow without offset, blurred by the radius).
struct GlowingOval {
    Rect rect;
    Colour colour;
    double blurRadius = 0;
    bool operator==(const GlowingOval&) const = default;
};

struct FilledOval {
    Rect rect;
    Colour colour;
    bool operator==(const FilledOval&) const = default;
};

struct StrokedOval {
    Rect rect;
    Stroke stroke;
    bool operator==(const StrokedOval&) const = default;
};

struct FilledRoundedRect {
    Rect rect;
    double cornerRadius = 0;
    Colour colour;
    bool operator==(const FilledRoundedRect&) const = default;
};

// Open lines through their points, stroked together: where they cross, a
// translucent colour is not laid on twice.
struct StrokedPath {
    std::vector<std::vector<Point>> lines;
    Stroke stroke;
    bool operator==(const StrokedPath&) const = default;
};

// An arc from the start angle to the end angle, the angle growing from the
// x axis towards the y axis (clockwise on screen, since y grows downward).
struct StrokedArc {
    Point centre;
    double radius = 0;
    double startDegrees = 0;
    double endDegrees = 0;
    Stroke stroke;
    bool operator==(const StrokedArc&) const = default;
};

using Shape = std::variant<GlowingOval, FilledOval, StrokedOval, FilledRoundedRect, StrokedPath, StrokedArc>;

// Painted in order, each over the ones before.
using Drawing = std::vector<Shape>;

constexpr Rect insetRect(const Rect& rect, double inset) {
    return {rect.x + inset, rect.y + inset, rect.width - 2 * inset, rect.height - 2 * inset};
}
constexpr double midX(const Rect& rect) { return rect.x + rect.width / 2; }
constexpr double midY(const Rect& rect) { return rect.y + rect.height / 2; }

}  // namespace tavlo
