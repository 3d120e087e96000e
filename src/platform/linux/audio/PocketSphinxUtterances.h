#pragma once
// A long dictation decoded as a chain of utterances. The decoder's search
// tables grow with the length of the utterance and never shrink, so an
// utterance that has run for a while is ended at the next pause in the speech
// (or, without one, at a hard limit) and a new one begins. A pause is audio
// that stays well below the loudest so far, after the last word the decoder
// has heard. Audio the decoder is not given (silence kept from it) ends the
// utterance too; the next one begins with the next audio it hears. The text
// of the ended utterances is kept and the hypothesis reads as one continuous
// text, with the first word's time counted from the start of all the audio.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/linux/audio/PocketSphinxDecoder.h"

namespace tavlo {

struct UtteranceLimits {
    // From this length on, an utterance ends at the next pause. Ten seconds
    // hold a sentence or two, all the context the language model uses.
    double endAtPauseAfterSeconds = 10;
    // No utterance runs longer than this, pause or not.
    double longestSeconds = 20;
    // Quiet time after the last word that counts as a pause.
    double pauseSeconds = 0.5;
};

class ChainedUtterances {
public:
    ChainedUtterances(PocketSphinxDecoder& decoder, UtteranceLimits limits) : decoder_(decoder), limits_(limits) {}

    // A new stream: the text and the time start again.
    void start();
    // 16 kHz samples; may end the utterance (the next begins with the
    // following audio).
    void process(const std::int16_t* samples, std::size_t count);
    // Ends the current utterance (if one runs): what follows is not its
    // continuation.
    void endUtterance();
    // 16 kHz samples the decoder does not hear; they count for the time.
    void skip(std::size_t count);
    // The text of the ended utterances and the current one's hypothesis.
    SpeechHypothesis hypothesis();
    // Ends the audio; returns the final text.
    SpeechHypothesis finish();

    // How many utterances this stream has used so far.
    std::size_t utteranceCount() const { return utteranceCount_; }

private:
    double utteranceSeconds() const;
    void measureLoudness(const std::int16_t* samples, std::size_t count);
    bool reachedPause();
    SpeechHypothesis combinedWith(const SpeechHypothesis& current) const;

    PocketSphinxDecoder& decoder_;
    const UtteranceLimits limits_;
    std::string earlierText_;
    std::optional<double> earlierFirstWordStart_;
    std::optional<double> earlierLastWordEnd_;
    bool inUtterance_ = false;
    std::size_t streamSamples_ = 0;      // heard and skipped
    double utteranceOffsetSeconds_ = 0;  // where the current utterance began
    std::size_t utteranceSamples_ = 0;
    std::size_t samplesSincePauseCheck_ = 0;
    std::size_t utteranceCount_ = 0;
    double loudest_ = 0;            // the loudest 10 ms of the stream (RMS)
    std::size_t quietSamples_ = 0;  // how long it has been quiet
};

}  // namespace tavlo
