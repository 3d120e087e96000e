#include "platform/linux/audio/LiveVoiceActivity.h"

#include <algorithm>
#include <cmath>

#include <webrtc/modules/audio_processing/include/audio_processing.h>
#include <webrtc/modules/interface/module_common_types.h>

namespace tavlo {
namespace {

// As for whole recordings: how far above the noise floor a frame must be,
// and the level below which nothing is speech.
constexpr double aboveNoiseFloorDb = 6.0;
constexpr double quietestSpeechDbfs = -60.0;
// Long enough to span the pauses between words, short enough to follow a
// room that gets louder (a fan switched on).
constexpr std::size_t noiseFloorFrames = 300;

double levelDbfs(const std::int16_t* frame, std::size_t count) {
    double sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += double(frame[i]) * frame[i];
    return 10.0 * std::log10(sum / double(count) / (32768.0 * 32768.0) + 1e-12);
}

}  // namespace

LiveVoiceActivity::LiveVoiceActivity() : frame_(std::make_unique<webrtc::AudioFrame>()) {
    recentLevels_.reserve(noiseFloorFrames);
    processing_.reset(webrtc::AudioProcessing::Create());
    webrtc::VoiceDetection* detection = processing_ ? processing_->voice_detection() : nullptr;
    if (!detection || detection->Enable(true) != 0 ||
        detection->set_likelihood(webrtc::VoiceDetection::kVeryLowLikelihood) != 0)
        processing_.reset();
}

LiveVoiceActivity::~LiveVoiceActivity() = default;

double LiveVoiceActivity::noiseFloorDbfs() const {
    const std::size_t tenth = recentLevels_.size() / 10;
    std::size_t seen = 0;
    // From the quietest level up.
    for (std::size_t index = 0; index < levelCounts_.size(); ++index) {
        seen += levelCounts_[index];
        if (seen > tenth) return -static_cast<double>(levelCounts_.size() - 1 - index);
    }
    return 0;
}

void LiveVoiceActivity::rememberLevel(double levelDbfs) {
    // Stored as the index counted from the quietest level, so the counts can
    // be walked from quiet to loud.
    const auto below = static_cast<std::size_t>(std::clamp(-std::floor(levelDbfs), 0.0, double(levelCounts_.size() - 1)));
    const auto index = static_cast<std::uint8_t>(levelCounts_.size() - 1 - below);
    if (recentLevels_.size() < noiseFloorFrames) {
        recentLevels_.push_back(index);
    } else {
        --levelCounts_[recentLevels_[nextLevel_]];
        recentLevels_[nextLevel_] = index;
        nextLevel_ = (nextLevel_ + 1) % noiseFloorFrames;
    }
    ++levelCounts_[index];
}

bool LiveVoiceActivity::isSpeech(const std::int16_t* frame) {
    if (!processing_) return true;
    rumble_.filter(frame, filtered_.data(), frameLength);
    const double level = levelDbfs(filtered_.data(), frameLength);
    rememberLevel(level);
    // The detector hears every frame, quiet ones too, so that its own
    // picture of the background stays current.
    frame_->UpdateFrame(0, 0, filtered_.data(), frameLength, sampleRate, webrtc::AudioFrame::kNormalSpeech,
                        webrtc::AudioFrame::kVadUnknown, 1);
    if (processing_->ProcessStream(frame_.get()) != 0) return true;
    const bool voiced = processing_->voice_detection()->stream_has_voice();
    return voiced && level > std::max(noiseFloorDbfs() + aboveNoiseFloorDb, quietestSpeechDbfs);
}

}  // namespace tavlo
