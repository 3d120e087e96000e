#pragma once
// A sound player without a sound server: keeps every sound it was given.
#include "platform/SoundPlayer.h"

namespace tavlo {

class SimSoundPlayer final : public SoundPlayer {
public:
    struct Sound {
        std::vector<std::int16_t> samples;
        int sampleRate = 0;
        double volume = 0;
    };
    void play(std::vector<std::int16_t> samples, int sampleRate, double volume) override {
        played_.push_back({std::move(samples), sampleRate, volume});
    }
    const std::vector<Sound>& played() const { return played_; }

private:
    std::vector<Sound> played_;
};

}  // namespace tavlo
