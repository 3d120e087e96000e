#pragma once
// Lets only speech through to the recogniser, so that it cannot make words
// out of silence or noise, and spends no time on them. Frames come in with a
// voice activity verdict each. The gate opens on a short run of speech frames
// and then hands on the moments before them too, so soft first sounds are
// heard; once open it hands on everything, short pauses between words
// included, and closes after a longer stretch without speech. Of a stretch
// without speech only the start is handed on at once (the recogniser needs a
// moment of it to settle the last word); the rest waits for the verdict: a
// pause between words if speech comes back, else kept from the recogniser.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavlo {

struct SpeechGateRules {
    // Speech frames in a row that open the gate; fewer are a click.
    std::size_t openingFrames = 5;
    // Frames before the opening run that are handed on with it.
    std::size_t leadInFrames = 10;
    // Frames without speech that close the gate again.
    std::size_t closingFrames = 50;
    // Frames without speech handed on at once after speech.
    std::size_t tailFrames = 15;
};

// Where the gate's decisions go, in the order of the audio.
class GatedAudio {
public:
    virtual ~GatedAudio() = default;
    // Audio to recognise.
    virtual void hear(const std::int16_t* samples, std::size_t count) = 0;
    // The stretch of speech has ended: what follows is kept from the recogniser.
    virtual void speechEnded() = 0;
    // Audio that is not speech and is not recognised; it still takes time.
    virtual void skip(std::size_t count) = 0;
};

class SpeechGate {
public:
    SpeechGate(std::size_t frameLength, SpeechGateRules rules = {});

    // One frame of `frameLength` samples.
    void frame(const std::int16_t* samples, bool isSpeech, GatedAudio& out);
    // Samples after the last whole frame, at the end of the audio: heard when
    // the gate is open and not holding back a pause.
    void finalRest(const std::int16_t* samples, std::size_t count, GatedAudio& out);

    bool isOpen() const { return open_; }

private:
    const std::size_t frameLength_;
    const SpeechGateRules rules_;
    bool open_ = false;
    std::size_t speechRun_ = 0;  // while closed
    std::size_t quietRun_ = 0;   // while open
    // While closed: the latest frames, which may yet lead into speech. While
    // open: the frames of a pause after its start, which may yet be followed
    // by speech.
    std::vector<std::int16_t> held_;
};

}  // namespace tavlo
