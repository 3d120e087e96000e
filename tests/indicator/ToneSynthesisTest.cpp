// The feedback cues' samples, checked against values worked out separately
// from the formula (lengths, sums, peaks and a few spot samples), and the
// shape every segment must have.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <span>
#include <utility>
#include <vector>

#include "indicator/model/FeedbackSound.h"
#include "indicator/model/ToneSynthesis.h"
#include "platform/sim/SimSoundPlayer.h"

namespace tavlo {
namespace {

struct ExpectedCue {
    const char* name;
    std::span<const ToneSegment> segments;
    std::size_t length;
    long sum;
    std::size_t peakIndex;
    int peak;
    std::vector<std::pair<std::size_t, int>> spots;
};

class CueSamples : public ::testing::TestWithParam<ExpectedCue> {};

TEST_P(CueSamples, MatchTheFormula) {
    const ExpectedCue& expected = GetParam();
    const auto samples = synthesiseCue(expected.segments);
    ASSERT_EQ(samples.size(), expected.length);
    EXPECT_EQ(std::accumulate(samples.begin(), samples.end(), 0L), expected.sum);
    const auto peak = std::max_element(samples.begin(), samples.end(),
                                       [](int a, int b) { return std::abs(a) < std::abs(b); });
    EXPECT_EQ(static_cast<std::size_t>(peak - samples.begin()), expected.peakIndex);
    EXPECT_EQ(*peak, expected.peak);
    for (const auto& [index, value] : expected.spots) EXPECT_EQ(samples[index], value) << "sample " << index;
}

TEST_P(CueSamples, EverySegmentStartsAndEndsSilentAndIsFollowedBy12Milliseconds) {
    const auto samples = synthesiseCue(GetParam().segments);
    std::size_t start = 0;
    for (const ToneSegment& segment : GetParam().segments) {
        const auto count = static_cast<std::size_t>(segment.duration * toneSampleRate);
        EXPECT_EQ(samples[start], 0);
        EXPECT_EQ(samples[start + count - 1], 0);
        EXPECT_NE(samples[start + count / 2], 0);
        for (std::size_t i = start + count; i < start + count + 529; ++i) ASSERT_EQ(samples[i], 0) << i;
        start += count + 529;
    }
    EXPECT_EQ(start, samples.size());
    // Seeded afresh: the same cue is always the same sound.
    EXPECT_EQ(synthesiseCue(GetParam().segments), samples);
}

INSTANTIATE_TEST_SUITE_P(
    Cues, CueSamples,
    ::testing::Values(
        ExpectedCue{"start", startCue, 6790, -24200, 1218, -15598,
                    {{1, 2}, {100, 1804}, {1212, -13117}, {2424, 0}, {2954, 0}, {2955, 7}, {4000, -1981}}},
        ExpectedCue{"stop", stopCue, 7011, -22402, 1038, 12062,
                    {{1, 3}, {100, -450}, {1212, 11512}, {2954, -801}, {2955, -893}, {4000, 6962}}},
        ExpectedCue{"cancel", cancelCue, 4498, -6786, 2042, 7602,
                    {{1, 0}, {100, -537}, {1212, 3816}, {2424, -6256}, {2954, 3795}, {3968, 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ToneSynthesis, ASegmentShorterThanOneSampleStillGivesOneSilentSample) {
    const ToneSegment blip[] = {{440, 440, 0.00001, 1, 0.5}};
    const auto samples = synthesiseCue(blip);
    EXPECT_EQ(samples, std::vector<std::int16_t>(530, 0));
}

TEST(ToneSynthesis, LoudSegmentsAreClippedToTheSampleRange) {
    const ToneSegment loud[] = {{440, 440, 0.01, 3, 0}};
    const auto samples = synthesiseCue(loud);
    EXPECT_EQ(*std::max_element(samples.begin(), samples.end()), 32767);
    EXPECT_EQ(*std::min_element(samples.begin(), samples.end()), -32767);
}

TEST(FeedbackSound, HandsEachCueToThePlayerAtItsRateAndVolume) {
    auto player = std::make_shared<SimSoundPlayer>();
    FeedbackSound sound(player);
    sound.playStart();
    sound.playStop();
    sound.playCancel();
    ASSERT_EQ(player->played().size(), 3u);
    const std::span<const ToneSegment> cues[] = {startCue, stopCue, cancelCue};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(player->played()[i].samples, synthesiseCue(cues[i]));
        EXPECT_EQ(player->played()[i].sampleRate, 44100);
        EXPECT_DOUBLE_EQ(player->played()[i].volume, 0.34);
    }
}

}  // namespace
}  // namespace tavlo
