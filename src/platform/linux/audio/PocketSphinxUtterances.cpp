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
    earlierText_.clear();
    earlierFirstWordStart_.reset();
    utteranceOffsetSeconds_ = 0;
    utteranceSamples_ = 0;
    samplesSincePauseCheck_ = 0;
    utteranceCount_ = 1;
    loudest_ = 0;
    quietSamples_ = 0;
    decoder_.start();
}

double ChainedUtterances::utteranceSeconds() const { return static_cast<double>(utteranceSamples_) / sampleRate; }

void ChainedUtterances::process(const std::int16_t* samples, std::size_t count) {
    decoder_.process(samples, count);
    measureLoudness(samples, count);
    utteranceSamples_ += count;
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
    decoder_.finish();
    const SpeechHypothesis ended = decoder_.hypothesis();
    if (!earlierFirstWordStart_ && ended.firstWordStart)
        earlierFirstWordStart_ = utteranceOffsetSeconds_ + *ended.firstWordStart;
    earlierText_ = joined(earlierText_, ended.text);
    utteranceOffsetSeconds_ += utteranceSeconds();
    utteranceSamples_ = 0;
    samplesSincePauseCheck_ = 0;
    ++utteranceCount_;
    decoder_.start();
}

SpeechHypothesis ChainedUtterances::combinedWith(const SpeechHypothesis& current) const {
    SpeechHypothesis result;
    result.text = joined(earlierText_, current.text);
    result.firstWordStart = earlierFirstWordStart_;
    if (!result.firstWordStart && current.firstWordStart)
        result.firstWordStart = utteranceOffsetSeconds_ + *current.firstWordStart;
    if (current.lastWordEnd) result.lastWordEnd = utteranceOffsetSeconds_ + *current.lastWordEnd;
    return result;
}

SpeechHypothesis ChainedUtterances::hypothesis() { return combinedWith(decoder_.hypothesis()); }

SpeechHypothesis ChainedUtterances::finish() {
    decoder_.finish();
    return combinedWith(decoder_.hypothesis());
}

}  // namespace tavlo
