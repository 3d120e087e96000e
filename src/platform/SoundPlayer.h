#pragma once
// Plays short sounds the program makes itself. Playing returns at once and
// never fails towards the caller: without a sound server the sound is
// simply not heard. Several sounds may play at the same time.
#include <cstdint>
#include <vector>

namespace tavlo {

class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Signed 16-bit mono samples; `volume` scales them (0..1).
    virtual void play(std::vector<std::int16_t> samples, int sampleRate, double volume) = 0;
};

}  // namespace tavlo
