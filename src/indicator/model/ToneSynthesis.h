#pragma once
// The three feedback cues, synthesised: each is one or two short sine sweeps
// with a touch of noise under a half-sine envelope, followed by 12 ms of
// silence. The samples are a pure function of the segments, so the same cue
// always sounds exactly the same.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tavlo {

inline constexpr int toneSampleRate = 44100;

struct ToneSegment {
    double startFrequency;  // Hz, swept linearly to
    double endFrequency;    // Hz
    double duration;        // seconds
    double amplitude;       // 0..1, of the sine
    double noise;           // 0..1, of the white noise
};

// Listening started: a rising two-part chirp.
inline constexpr std::array<ToneSegment, 2> startCue{{{520, 720, 0.055, 0.46, 0.018}, {760, 980, 0.075, 0.34, 0.012}}};
// Listening stopped: a falling two-part chirp.
inline constexpr std::array<ToneSegment, 2> stopCue{{{860, 680, 0.05, 0.36, 0.012}, {620, 420, 0.085, 0.28, 0.016}}};
// The dictation was cancelled: one low falling tone.
inline constexpr std::array<ToneSegment, 1> cancelCue{{{360, 240, 0.09, 0.22, 0.014}}};

// Signed 16-bit mono samples at `toneSampleRate`.
std::vector<std::int16_t> synthesiseCue(std::span<const ToneSegment> segments);

}  // namespace tavlo
