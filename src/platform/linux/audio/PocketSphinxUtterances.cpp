#include "platform/linux/audio/PocketSphinxUtterances.h"

#include <algorithm>
#include <cmath>

namespace tavlo {
namespace {

constexpr double sampleRate = 16000;
// Looking for a pause asks the decoder for its hypothesis; every 100 ms of
// audio is often enough to find one.
constexpr std::size_t samplesBetweenPauseChecks = 1600;
// Loudness is measured over 10 ms, the decoder's own frame.
constexpr std::size_t loudnessWindow = 160;
// A tenth of the loudest level (20 dB below) is quiet: breathing and room
// noise, not words.
constexpr double quietFraction = 0.1;

std::string joined(const std::string& first, const std::string& second) {
    if (first.empty()) return second;
    if (second.empty()) return first;
    return first + " " + second;
}

}  // namespace

void ChainedUtterances::start() {
    decoder_.finish();
    earlierText_.clear();
    earlierFirstWordStart_.reset();
    earlierLastWordEnd_.reset();
    inUtterance_ = false;
    streamSamples_ = 0;
    utteranceOffsetSeconds_ = 0;
    utteranceSamples_ = 0;
    samplesSincePauseCheck_ = 0;
    utteranceCount_ = 0;
    loudest_ = 0;
    quietSamples_ = 0;
}

double ChainedUtterances::utteranceSeconds() const { return static_cast<double>(utteranceSamples_) / sampleRate; }

void ChainedUtterances::process(const std::int16_t* samples, std::size_t count) {
    if (count == 0) return;
    if (!inUtterance_) {
        // Begun only when there is audio to hear: a stream the decoder never
        // hears costs nothing and has no text.
        decoder_.start();
        inUtterance_ = true;
        utteranceOffsetSeconds_ = static_cast<double>(streamSamples_) / sampleRate;
        utteranceSamples_ = 0;
        samplesSincePauseCheck_ = 0;
        ++utteranceCount_;
    }
    decoder_.process(samples, count);
    measureLoudness(samples, count);
    utteranceSamples_ += count;
    streamSamples_ += count;
    samplesSincePauseCheck_ += count;
    const double length = utteranceSeconds();
    if (length < limits_.endAtPauseAfterSeconds) return;
    if (length >= limits_.longestSeconds) {
        endUtterance();
        return;
    }
    if (samplesSincePauseCheck_ < samplesBetweenPauseChecks) return;
    samplesSincePauseCheck_ = 0;
    if (reachedPause()) endUtterance();
}

void ChainedUtterances::skip(std::size_t count) {
    endUtterance();
    streamSamples_ += count;
}

void ChainedUtterances::measureLoudness(const std::int16_t* samples, std::size_t count) {
    for (std::size_t start = 0; start < count; start += loudnessWindow) {
        const std::size_t length = std::min(loudnessWindow, count - start);
        double energy = 0;
        for (std::size_t i = start; i < start + length; ++i) energy += double(samples[i]) * double(samples[i]);
        const double level = std::sqrt(energy / static_cast<double>(length));
        loudest_ = std::max(loudest_, level);
        quietSamples_ = level <= loudest_ * quietFraction ? quietSamples_ + length : 0;
    }
}

bool ChainedUtterances::reachedPause() {
    const double quietSeconds = static_cast<double>(quietSamples_) / sampleRate;
    if (quietSeconds < limits_.pauseSeconds) return false;
    // Soft speech can stay under the quiet level; a word the decoder heard
    // within the pause means it was no pause.
    const SpeechHypothesis current = decoder_.hypothesis();
    return !current.lastWordEnd || utteranceSeconds() - *current.lastWordEnd >= limits_.pauseSeconds;
}

void ChainedUtterances::endUtterance() {
    if (!inUtterance_) return;
    decoder_.finish();
    inUtterance_ = false;
    const SpeechHypothesis ended = decoder_.hypothesis();
    if (!earlierFirstWordStart_ && ended.firstWordStart)
        earlierFirstWordStart_ = utteranceOffsetSeconds_ + *ended.firstWordStart;
    if (ended.lastWordEnd) earlierLastWordEnd_ = utteranceOffsetSeconds_ + *ended.lastWordEnd;
    earlierText_ = joined(earlierText_, ended.text);
}

SpeechHypothesis ChainedUtterances::combinedWith(const SpeechHypothesis& current) const {
    SpeechHypothesis result;
    result.text = joined(earlierText_, current.text);
    result.firstWordStart = earlierFirstWordStart_;
    if (!result.firstWordStart && current.firstWordStart)
        result.firstWordStart = utteranceOffsetSeconds_ + *current.firstWordStart;
    result.lastWordEnd = current.lastWordEnd ? utteranceOffsetSeconds_ + *current.lastWordEnd : earlierLastWordEnd_;
    return result;
}

SpeechHypothesis ChainedUtterances::hypothesis() {
    return combinedWith(inUtterance_ ? decoder_.hypothesis() : SpeechHypothesis{});
}

SpeechHypothesis ChainedUtterances::finish() {
    endUtterance();
    return combinedWith({});
}

}  // namespace tavlo
