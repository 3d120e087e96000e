#pragma once
// The start, stop and cancel tones: synthesised on the caller's thread (a few
// thousand samples) and handed to the sound player, which plays them without
// blocking. One instance serves the whole program.
#include <memory>
#include <span>

#include "indicator/model/ToneSynthesis.h"
#include "platform/FeedbackTones.h"
#include "platform/SoundPlayer.h"

namespace tavlo {

class FeedbackSound final : public FeedbackTones {
public:
    static constexpr double volume = 0.34;

    explicit FeedbackSound(std::shared_ptr<SoundPlayer> player) : player_(std::move(player)) {}

    void playStart() override { play(startCue); }
    void playStop() override { play(stopCue); }
    void playCancel() override { play(cancelCue); }

private:
    void play(std::span<const ToneSegment> segments) {
        if (player_) player_->play(synthesiseCue(segments), toneSampleRate, volume);
    }

    std::shared_ptr<SoundPlayer> player_;
};

}  // namespace tavlo
