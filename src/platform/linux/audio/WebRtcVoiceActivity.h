#pragma once
// Which 10 ms frames of a recording are speech, by WebRTC's voice activity
// detector (the statistical model WebRTC uses in calls, reached through the
// audio-processing library) in its strictest mode. Two plain checks around it
// keep steady noise out: a high-pass filter takes away rumble below the voice,
// and a frame must stand clearly above the recording's own noise floor.
#include <cstdint>
#include <vector>

namespace tavlo {

class WebRtcVoiceActivity {
public:
    static constexpr int framesPerSecond = 100;

    // The rates the detector works at; other audio must be resampled first.
    static bool supportsRate(int sampleRate);

    // One verdict per whole 10 ms frame of mono 16-bit `samples` (a rest
    // shorter than a frame is not judged). Empty for an unsupported rate.
    static std::vector<bool> voicedFrames(const std::vector<std::int16_t>& samples, int sampleRate);
};

}  // namespace tavlo
