#pragma once
// From a voice activity detector's verdict on each short frame to the part of
// a recording worth transcribing: from the first to the last stretch of
// speech, widened by a margin so soft first and last sounds are not clipped.
#include <cstddef>
#include <optional>
#include <vector>

namespace tavlo {

struct FrameRange {
    std::size_t first = 0;  // the first frame kept
    std::size_t end = 0;    // one past the last frame kept

    bool operator==(const FrameRange&) const = default;
};

struct SpeechSpanRules {
    // A voiced stretch shorter than this is a click or a burst of noise, not speech.
    std::size_t shortestSpeechFrames = 5;
    // Kept on each side of the speech.
    std::size_t marginFrames = 25;
};

// Absent when no stretch of the verdicts is speech.
std::optional<FrameRange> speechSpan(const std::vector<bool>& voicedFrames, const SpeechSpanRules& rules);

}  // namespace tavlo
