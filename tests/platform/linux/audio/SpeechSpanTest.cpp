// From per-frame voice verdicts to the span kept: short bursts are ignored,
// the margin is added and clipped at the ends of the recording.
#include <gtest/gtest.h>

#include <string>

#include "platform/linux/audio/SpeechSpan.h"

namespace tavlo {
namespace {

// '#' is a voiced frame, '.' an unvoiced one.
std::vector<bool> frames(const std::string& pattern) {
    std::vector<bool> voiced;
    for (char c : pattern) voiced.push_back(c == '#');
    return voiced;
}

struct SpanCase {
    const char* name;
    std::string pattern;
    SpeechSpanRules rules;
    std::optional<FrameRange> expected;
};

TEST(SpeechSpan, KeepsTheSpeechWithItsMarginAndIgnoresBursts) {
    const SpeechSpanRules tight{.shortestSpeechFrames = 3, .marginFrames = 2};
    const std::vector<SpanCase> cases{
        {"nothing at all", "", tight, std::nullopt},
        {"only silence", "..........", tight, std::nullopt},
        {"only short bursts", "..##...#..##..", tight, std::nullopt},
        {"speech in the middle", "......###.....", tight, FrameRange{4, 11}},
        {"margin clipped at the start", ".###......", tight, FrameRange{0, 6}},
        {"margin clipped at the end", "......####", tight, FrameRange{4, 10}},
        {"speech everywhere", "##########", tight, FrameRange{0, 10}},
        {"from the first to the last stretch, pauses kept", "..###....###.....", tight, FrameRange{0, 14}},
        {"bursts outside the speech do not widen it", "#.......###...##.........", tight, FrameRange{6, 13}},
        {"a stretch of exactly the shortest length counts", "....###....", tight, FrameRange{2, 9}},
        {"one frame is enough when the rules say so", ".....#.....", {.shortestSpeechFrames = 1, .marginFrames = 0},
         FrameRange{5, 6}},
        {"a rule of zero frames still needs a voiced frame", ".....", {.shortestSpeechFrames = 0, .marginFrames = 0},
         std::nullopt},
    };
    for (const SpanCase& c : cases) EXPECT_EQ(speechSpan(frames(c.pattern), c.rules), c.expected) << c.name;
}

}  // namespace
}  // namespace tavlo
