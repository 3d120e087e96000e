#include "platform/linux/audio/MonoResampler.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>

namespace tavlo {

struct MonoResampler::State {
    SRC_STATE* converter = nullptr;
    double sourceRate = 0;
    std::vector<float> mono;
    std::vector<float> converted;

    ~State() {
        if (converter) src_delete(converter);
    }
};

namespace {

std::int16_t toInt16(float sample) {
    const float scaled = std::clamp(sample, -1.0f, 1.0f) * 32767.0f;
    return static_cast<std::int16_t>(std::lrint(scaled));
}

}  // namespace

MonoResampler::MonoResampler() : state_(std::make_unique<State>()) {}
MonoResampler::~MonoResampler() = default;

void MonoResampler::convert(const AudioBuffer& buffer, std::vector<std::int16_t>& out) {
    const std::uint32_t channels = buffer.format.channelCount;
    if (channels == 0 || buffer.format.sampleRate <= 0 || buffer.frameCount == 0) return;
    const std::size_t frames = std::min<std::size_t>(buffer.frameCount, buffer.samples.size() / channels);

    // Channels are averaged into one.
    state_->mono.resize(frames);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        float sum = 0;
        for (std::uint32_t channel = 0; channel < channels; ++channel)
            sum += buffer.samples[frame * channels + channel];
        state_->mono[frame] = sum / static_cast<float>(channels);
    }

    if (buffer.format.sampleRate == targetRate) {
        for (float sample : state_->mono) out.push_back(toInt16(sample));
        return;
    }
    if (!state_->converter || state_->sourceRate != buffer.format.sampleRate) {
        if (state_->converter) flush(out);
        int error = 0;
        // The fastest band-limited converter: speech recognition needs no more.
        state_->converter = src_new(SRC_SINC_FASTEST, 1, &error);
        if (!state_->converter) return;
        state_->sourceRate = buffer.format.sampleRate;
    }
    run(state_->mono.data(), static_cast<long>(frames), false, out);
}

void MonoResampler::flush(std::vector<std::int16_t>& out) {
    if (!state_->converter) return;
    run(nullptr, 0, true, out);
    src_delete(state_->converter);
    state_->converter = nullptr;
}

void MonoResampler::run(const float* mono, long frames, bool endOfInput, std::vector<std::int16_t>& out) {
    const double ratio = targetRate / state_->sourceRate;
    state_->converted.resize(static_cast<std::size_t>(std::ceil(static_cast<double>(frames) * ratio)) + 256);
    SRC_DATA data{};
    data.data_in = mono;
    data.input_frames = frames;
    data.src_ratio = ratio;
    data.end_of_input = endOfInput ? 1 : 0;
    // The converter may hold some input back; loop until it has taken all of
    // it (and, at the end, given out everything).
    while (true) {
        data.data_out = state_->converted.data();
        data.output_frames = static_cast<long>(state_->converted.size());
        if (src_process(state_->converter, &data) != 0) return;
        for (long i = 0; i < data.output_frames_gen; ++i)
            out.push_back(toInt16(state_->converted[static_cast<std::size_t>(i)]));
        if (data.input_frames_used == 0 && data.output_frames_gen == 0) return;
        if (data.input_frames_used > 0) {
            data.data_in += data.input_frames_used;
            data.input_frames -= data.input_frames_used;
        }
        if (data.input_frames == 0 && !endOfInput) return;
    }
}

}  // namespace tavlo
