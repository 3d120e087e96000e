#include "indicator/model/ToneSynthesis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tavlo {
namespace {

constexpr int silenceAfterSegment = 529;  // 12 ms

}  // namespace

std::vector<std::int16_t> synthesiseCue(std::span<const ToneSegment> segments) {
    // The phase runs on from one segment into the next, so the sweep has no
    // click between them; the noise generator starts from the same seed for
    // every cue.
    double phase = 0;
    std::uint64_t random = 1831565813u;
    std::vector<std::int16_t> samples;
    for (const ToneSegment& segment : segments) {
        const auto count = std::max<long>(static_cast<long>(segment.duration * toneSampleRate), 1);
        for (long i = 0; i < count; ++i) {
            const double t = static_cast<double>(i) / static_cast<double>(std::max<long>(count - 1, 1));
            const double envelope = std::sin(t * std::numbers::pi);
            const double frequency = segment.startFrequency + (segment.endFrequency - segment.startFrequency) * t;
            phase += 2 * std::numbers::pi * frequency / toneSampleRate;
            random = random * 6364136223846793005u + 1;
            const double noiseValue = static_cast<double>((random >> 33) & 0xFFFF) / 32767.5 - 1;
            const double value = envelope * (segment.noise * noiseValue + segment.amplitude * std::sin(phase));
            const double scaled = value < -1 ? -32767 : std::min(value, 1.0) * 32767;
            samples.push_back(static_cast<std::int16_t>(scaled));
        }
        samples.insert(samples.end(), silenceAfterSegment, 0);
    }
    return samples;
}

}  // namespace tavlo
