#pragma once
// Microphone audio to what the recogniser hears: one channel of 16-bit samples
// at 16 kHz, converted by libsamplerate as a continuous stream.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/AudioBuffer.h"

namespace tavlo {

class MonoResampler {
public:
    static constexpr double targetRate = 16000.0;

    MonoResampler();
    ~MonoResampler();
    MonoResampler(const MonoResampler&) = delete;
    MonoResampler& operator=(const MonoResampler&) = delete;

    // Appends the converted samples of `buffer` to `out`.
    void convert(const AudioBuffer& buffer, std::vector<std::int16_t>& out);
    // Appends what the converter still holds at the end of the audio.
    void flush(std::vector<std::int16_t>& out);

private:
    void run(const float* mono, long frames, bool endOfInput, std::vector<std::int16_t>& out);

    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tavlo
