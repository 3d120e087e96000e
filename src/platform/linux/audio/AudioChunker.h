#pragma once
// Cuts the server's fragments, whose sizes vary, into buffers of the frame
// count the tap asked for.
#include <cstddef>
#include <functional>
#include <vector>

#include "platform/AudioBuffer.h"

namespace tavlo {

class AudioChunker {
public:
    AudioChunker(AudioFormat format, std::size_t bufferFrames);

    // Adds interleaved samples (whole frames) and hands out every full buffer.
    void add(const float* samples, std::size_t frameCount, const std::function<void(const AudioBuffer&)>& deliver);
    // Silence for a hole the server reports in the stream.
    void addSilence(std::size_t frameCount, const std::function<void(const AudioBuffer&)>& deliver);

private:
    void deliverIfFull(const std::function<void(const AudioBuffer&)>& deliver);

    AudioFormat format_;
    std::size_t bufferFrames_;
    AudioBuffer pending_;
};

}  // namespace tavlo
