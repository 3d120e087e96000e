#include "platform/linux/audio/AudioChunker.h"

#include <algorithm>

namespace tavlo {

AudioChunker::AudioChunker(AudioFormat format, std::size_t bufferFrames)
    : format_(format), bufferFrames_(std::max<std::size_t>(bufferFrames, 1)) {
    pending_.format = format_;
    pending_.samples.reserve(bufferFrames_ * format_.channelCount);
}

void AudioChunker::add(const float* samples, std::size_t frameCount,
                       const std::function<void(const AudioBuffer&)>& deliver) {
    const std::size_t channels = format_.channelCount;
    while (frameCount > 0) {
        const std::size_t room = bufferFrames_ - pending_.frameCount;
        const std::size_t taken = std::min(room, frameCount);
        pending_.samples.insert(pending_.samples.end(), samples, samples + taken * channels);
        pending_.frameCount += static_cast<std::uint32_t>(taken);
        samples += taken * channels;
        frameCount -= taken;
        deliverIfFull(deliver);
    }
}

void AudioChunker::addSilence(std::size_t frameCount, const std::function<void(const AudioBuffer&)>& deliver) {
    const std::vector<float> silence(std::min(frameCount, bufferFrames_) * format_.channelCount, 0.0f);
    while (frameCount > 0) {
        const std::size_t taken = std::min(frameCount, bufferFrames_);
        add(silence.data(), taken, deliver);
        frameCount -= taken;
    }
}

void AudioChunker::deliverIfFull(const std::function<void(const AudioBuffer&)>& deliver) {
    if (pending_.frameCount < bufferFrames_) return;
    deliver(pending_);
    pending_.frameCount = 0;
    pending_.samples.clear();
}

}  // namespace tavlo
