#pragma once
// The bubble's saved position and size, and its stored text form
// "{{x, y}, {width, height}}" with each number in its shortest decimal form.
#include <optional>
#include <string>
#include <string_view>

namespace tavlo {

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const Rect&) const = default;
};

std::string rectText(const Rect& rect);

// Absent when the text is not of that form, holds a number that is not finite,
// or gives the all-zero rectangle.
std::optional<Rect> rectFromText(std::string_view text);

}  // namespace tavlo
