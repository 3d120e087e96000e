#include "base/BubbleFrameText.h"

#include <array>
#include <charconv>
#include <cmath>

namespace tavlo {
namespace {

std::string shortestDecimal(double value) {
    if (value == 0) value = 0;  // no "-0"
    std::array<char, 32> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    if (error != std::errc{}) return "0";
    return std::string(buffer.data(), end);
}

// A small reader over the text form; every step skips white space first.
class RectReader {
public:
    explicit RectReader(std::string_view text) : text_(text) {}

    bool expect(char c) {
        skipSpaces();
        if (position_ >= text_.size() || text_[position_] != c) return false;
        ++position_;
        return true;
    }

    std::optional<double> number() {
        skipSpaces();
        const char* begin = text_.data() + position_;
        const char* last = text_.data() + text_.size();
        if (begin < last && *begin == '+') ++begin;
        double value = 0;
        const auto [end, error] = std::from_chars(begin, last, value);
        if (error != std::errc{} || !std::isfinite(value)) return std::nullopt;
        position_ = static_cast<std::size_t>(end - text_.data());
        return value;
    }

    bool atEnd() {
        skipSpaces();
        return position_ == text_.size();
    }

private:
    void skipSpaces() {
        while (position_ < text_.size() &&
               (text_[position_] == ' ' || text_[position_] == '\t' || text_[position_] == '\n'))
            ++position_;
    }

    std::string_view text_;
    std::size_t position_ = 0;
};

std::optional<std::pair<double, double>> readPair(RectReader& reader) {
    if (!reader.expect('{')) return std::nullopt;
    const auto first = reader.number();
    if (!first || !reader.expect(',')) return std::nullopt;
    const auto second = reader.number();
    if (!second || !reader.expect('}')) return std::nullopt;
    return std::pair{*first, *second};
}

}  // namespace

std::string rectText(const Rect& rect) {
    return "{{" + shortestDecimal(rect.x) + ", " + shortestDecimal(rect.y) + "}, {" +
           shortestDecimal(rect.width) + ", " + shortestDecimal(rect.height) + "}}";
}

std::optional<Rect> rectFromText(std::string_view text) {
    RectReader reader(text);
    if (!reader.expect('{')) return std::nullopt;
    const auto origin = readPair(reader);
    if (!origin || !reader.expect(',')) return std::nullopt;
    const auto size = readPair(reader);
    if (!size || !reader.expect('}') || !reader.atEnd()) return std::nullopt;
    const Rect rect{origin->first, origin->second, size->first, size->second};
    if (rect == Rect{}) return std::nullopt;
    return rect;
}

}  // namespace tavlo
