#pragma once
// A second-order Butterworth high-pass at 200 Hz. Voices start around 85 Hz
// but carry their speech energy well above it; fans, traffic and handling
// noise sit below it, and the voice activity detector should not hear them.
// It keeps its state between calls, so a stream can be filtered piece by piece.
#include <cstddef>
#include <cstdint>

namespace tavlo {

class RumbleFilter {
public:
    explicit RumbleFilter(int sampleRate);

    // Filters `count` samples from `in` into `out` (which may be `in`).
    void filter(const std::int16_t* in, std::int16_t* out, std::size_t count);

private:
    double b0_ = 0, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
    double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

}  // namespace tavlo
