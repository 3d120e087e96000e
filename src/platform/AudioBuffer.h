#pragma once
// Microphone audio as the capture device delivers it: 32-bit float samples,
// interleaved by channel, at the device's own rate. No conversion happens on
// the way to the recogniser or the recording file.
#include <cstdint>
#include <vector>

namespace tavlo {

struct AudioFormat {
    double sampleRate = 0;
    std::uint32_t channelCount = 0;

    bool operator==(const AudioFormat&) const = default;
};

struct AudioBuffer {
    AudioFormat format;
    std::uint32_t frameCount = 0;
    std::vector<float> samples;  // frameCount * format.channelCount values
};

}  // namespace tavlo
