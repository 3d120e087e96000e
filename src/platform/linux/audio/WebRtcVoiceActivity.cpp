#include "platform/linux/audio/WebRtcVoiceActivity.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include <webrtc/modules/audio_processing/include/audio_processing.h>
#include <webrtc/modules/interface/module_common_types.h>

#include "platform/linux/audio/RumbleFilter.h"

namespace tavlo {
namespace {

// How far above the quietest tenth of the recording a frame must be.
constexpr double aboveNoiseFloorDb = 6.0;
// Quieter than this is no speech on any microphone worth dictating into.
constexpr double quietestSpeechDbfs = -60.0;

double levelDbfs(const std::int16_t* frame, std::size_t count) {
    double sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += double(frame[i]) * frame[i];
    return 10.0 * std::log10(sum / double(count) / (32768.0 * 32768.0) + 1e-12);
}

}  // namespace

bool WebRtcVoiceActivity::supportsRate(int sampleRate) {
    return sampleRate == 8000 || sampleRate == 16000 || sampleRate == 32000 || sampleRate == 48000;
}

std::vector<bool> WebRtcVoiceActivity::voicedFrames(const std::vector<std::int16_t>& samples, int sampleRate) {
    if (!supportsRate(sampleRate)) return {};
    const std::size_t frameLength = static_cast<std::size_t>(sampleRate / framesPerSecond);
    const std::size_t frameCount = samples.size() / frameLength;
    if (frameCount == 0) return {};

    std::vector<std::int16_t> filtered(samples.size());
    RumbleFilter(sampleRate).filter(samples.data(), filtered.data(), samples.size());
    std::unique_ptr<webrtc::AudioProcessing> processing(webrtc::AudioProcessing::Create());
    webrtc::VoiceDetection* detection = processing ? processing->voice_detection() : nullptr;
    if (!detection || detection->Enable(true) != 0 ||
        detection->set_likelihood(webrtc::VoiceDetection::kVeryLowLikelihood) != 0)
        return {};

    std::vector<double> levels(frameCount);
    std::vector<bool> voiced(frameCount, false);
    // A frame object is several kilobytes: one, refilled for every frame.
    auto frame = std::make_unique<webrtc::AudioFrame>();
    for (std::size_t index = 0; index < frameCount; ++index) {
        const std::int16_t* start = filtered.data() + index * frameLength;
        levels[index] = levelDbfs(start, frameLength);
        frame->UpdateFrame(0, 0, start, frameLength, sampleRate, webrtc::AudioFrame::kNormalSpeech,
                           webrtc::AudioFrame::kVadUnknown, 1);
        if (processing->ProcessStream(frame.get()) != 0) return {};
        voiced[index] = detection->stream_has_voice();
    }

    std::vector<double> sorted = levels;
    const auto tenth = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 10);
    std::nth_element(sorted.begin(), tenth, sorted.end());
    const double threshold = std::max(*tenth + aboveNoiseFloorDb, quietestSpeechDbfs);
    for (std::size_t index = 0; index < frameCount; ++index)
        voiced[index] = voiced[index] && levels[index] > threshold;
    return voiced;
}

}  // namespace tavlo
