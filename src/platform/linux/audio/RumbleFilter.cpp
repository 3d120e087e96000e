#include "platform/linux/audio/RumbleFilter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tavlo {
namespace {

constexpr double cutOffHz = 200.0;

}  // namespace

RumbleFilter::RumbleFilter(int sampleRate) {
    const double w0 = 2.0 * std::numbers::pi * cutOffHz / sampleRate;
    constexpr double q = 1.0 / std::numbers::sqrt2;  // the flattest pass band
    const double alpha = std::sin(w0) / (2.0 * q);
    const double cosine = std::cos(w0);
    const double a0 = 1.0 + alpha;
    b0_ = (1.0 + cosine) / 2.0 / a0;
    b1_ = -(1.0 + cosine) / a0;
    b2_ = b0_;
    a1_ = -2.0 * cosine / a0;
    a2_ = (1.0 - alpha) / a0;
}

void RumbleFilter::filter(const std::int16_t* in, std::int16_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const double x = in[i];
        const double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
        x2_ = x1_, x1_ = x, y2_ = y1_, y1_ = y;
        out[i] = static_cast<std::int16_t>(std::lrint(std::clamp(y, -32768.0, 32767.0)));
    }
}

}  // namespace tavlo
