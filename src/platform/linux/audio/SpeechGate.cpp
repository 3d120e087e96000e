#include "platform/linux/audio/SpeechGate.h"

#include <algorithm>

namespace tavlo {

SpeechGate::SpeechGate(std::size_t frameLength, SpeechGateRules rules)
    : frameLength_(frameLength), rules_(rules) {
    held_.reserve(frameLength_ * std::max(rules_.leadInFrames + rules_.openingFrames, rules_.closingFrames));
}

void SpeechGate::frame(const std::int16_t* samples, bool isSpeech, GatedAudio& out) {
    if (open_) {
        quietRun_ = isSpeech ? 0 : quietRun_ + 1;
        if (quietRun_ == 0 && !held_.empty()) {
            // Speech again: what was held was a pause between words.
            out.hear(held_.data(), held_.size());
            held_.clear();
        }
        if (quietRun_ <= rules_.tailFrames) {
            out.hear(samples, frameLength_);
        } else {
            held_.insert(held_.end(), samples, samples + frameLength_);
        }
        if (quietRun_ >= rules_.closingFrames) {
            open_ = false;
            speechRun_ = 0;
            out.speechEnded();
            out.skip(held_.size());
            held_.clear();
        }
        return;
    }
    held_.insert(held_.end(), samples, samples + frameLength_);
    speechRun_ = isSpeech ? speechRun_ + 1 : 0;
    if (speechRun_ >= std::max<std::size_t>(rules_.openingFrames, 1)) {
        open_ = true;
        quietRun_ = 0;
        out.hear(held_.data(), held_.size());
        held_.clear();
        return;
    }
    const std::size_t kept = frameLength_ * (rules_.leadInFrames + speechRun_);
    if (held_.size() > kept) {
        const std::size_t dropped = held_.size() - kept;
        out.skip(dropped);
        held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(dropped));
    }
}

void SpeechGate::finalRest(const std::int16_t* samples, std::size_t count, GatedAudio& out) {
    // Inside a pause the rest is no speech either.
    if (open_ && held_.empty() && count > 0) out.hear(samples, count);
}

}  // namespace tavlo
