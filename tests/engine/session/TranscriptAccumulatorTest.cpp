#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/session/TranscriptAccumulator.h"

namespace tavlo {
namespace {

struct Hypothesis {
    std::string text;
    std::optional<double> timestamp;
};

struct MergeCase {
    const char* name;
    std::vector<Hypothesis> stream;
    std::string expectedText;
    std::string expectedCommitted;
};

std::string words(const std::string& prefix, int from, int to) {
    std::string out;
    for (int i = from; i < to; ++i) out += (out.empty() ? "" : " ") + prefix + std::to_string(i);
    return out;
}

const std::string forty = words("w", 0, 40);

const MergeCase mergeCases[] = {
    {"FirstResult", {{"hello there", 0.0}}, "hello there", ""},
    {"FirstResultIsNormalised", {{"  hello\n\t there  ", 0.0}}, "hello there", ""},
    {"UnicodeSpacesCollapse", {{"hello\u00A0\u3000there", 0.0}}, "hello there", ""},
    {"EmptyAndBlankChangeNothing", {{"hello", 0.0}, {"", 0.0}, {" \n ", 2.0}}, "hello", ""},
    {"GrowingHypothesisRestatesTranscript",
     {{"hello there", 0.0}, {"hello there how are you", 0.0}},
     "hello there how are you", ""},
    {"SameKeyKeepsEarlierText", {{"hello there", 0.0}, {"Hello there.", 0.0}}, "hello there", ""},
    {"RepeatedTailIsAlreadyKnown",
     {{"hello there", 0.0}, {"how are you", 2.0}, {"are you", 4.0}},
     "hello there how are you", "hello there"},
    {"NewSegmentIsAppended", {{"hello there", 0.0}, {"how are you", 2.0}}, "hello there how are you",
     "hello there"},
    {"OverlapMergesWithoutDuplication",
     {{"what about the weather", 0.0}, {"the weather today is", 2.0}},
     "what about the weather today is", "what about"},
    {"OverlapTakesCandidateSpelling",
     {{"what about the weather", 0.0}, {"The Weather, today", 2.0}},
     "what about The Weather, today", "what about"},
    {"SingleOverlappingTokenIsNotEnough",
     {{"good morning hello", 0.0}, {"hello there", 2.0}},
     "good morning hello hello there", "good morning hello"},
    {"NewOneWordSegmentIsAppended", {{"hello there", 0.0}, {"you", 2.0}}, "hello there you",
     "hello there"},
    {"OneWordAlreadyInTranscriptIsIgnored", {{"hello there", 0.0}, {"there", 2.0}}, "hello there", ""},
    // Containment is on the key text, not on word boundaries.
    {"KeyContainmentIgnoresWordBoundaries", {{"hello there", 0.0}, {"the", 2.0}}, "hello there", ""},
    {"CandidateWithoutTokensIsAppended", {{"hello there", 0.0}, {"...", 0.0}}, "hello there ...",
     "hello there"},
    {"WholeTranscriptRevisionDropsCommittedText",
     {{"hello there", 0.0}, {"how are you", 2.0}, {"Hello there, how are you doing", 0.0}},
     "Hello there, how are you doing", ""},
    {"SegmentWithin035sGrows",
     {{"good morning", 0.0}, {"hello", 1.0}, {"hello there", 1.3}},
     "good morning hello there", "good morning"},
    {"SegmentBeyond035sIsNew",
     {{"good morning", 0.0}, {"hello", 1.0}, {"hello there", 1.5}},
     "good morning hello hello there", "good morning hello"},
    {"ResultWithoutSegmentsAfterOneWithIsNew",
     {{"good morning", 0.0}, {"hello", 1.0}, {"hello there", std::nullopt}},
     "good morning hello hello there", "good morning hello"},
    {"ResultsWithoutSegmentsShareOne",
     {{"good morning", std::nullopt}, {"hello", 2.0}, {"x", std::nullopt}, {"x y", std::nullopt}},
     "good morning hello x y", "good morning hello"},
    // Existing hypothesis of 10 tokens: a rewording needs at least 7 tokens
    // and at least 52 % of the larger count in common.
    {"RewordingWithSevenTokensReplacesSegment",
     {{"intro", 0.0}, {"a b c d e f g h i j", 5.0}, {"a b c d e f x", 5.0}},
     "intro a b c d e f x", "intro"},
    {"RewordingWithSixTokensIsNewSegment",
     {{"intro", 0.0}, {"a b c d e f g h i j", 5.0}, {"a b c d e x", 5.0}},
     "intro a b c d e f g h i j a b c d e x", "intro a b c d e f g h i j"},
    {"RewordingWithTooFewCommonTokensIsNewSegment",
     {{"intro", 0.0}, {"a b c d e f g h i j", 5.0}, {"a b c d e x y", 5.0}},
     "intro a b c d e f g h i j a b c d e x y", "intro a b c d e f g h i j"},
    // Common tokens are counted as a multiset: one "go" matches only once.
    {"RepeatedTokensMatchOnce",
     {{"intro", 0.0}, {"go stop left right", 5.0}, {"go go go go x", 5.0}},
     "intro go stop left right go go go go x", "intro go stop left right"},
    {"OverlapOf32TokensIsFound",
     {{forty, 0.0}, {words("w", 8, 40) + " tail", 10.0}},
     forty + " tail", words("w", 0, 8)},
    {"OverlapBeyond32TokensIsNotSearched",
     {{forty, 0.0}, {words("w", 7, 40) + " tail", 10.0}},
     forty + " " + words("w", 7, 40) + " tail", forty},
    {"CaseFoldingAndPunctuationOfNonLatinText",
     {{"Ça va, Ünal?", 0.0}, {"ça va ünal", 0.0}},
     "Ça va, Ünal?", ""},
};

class TranscriptAccumulatorMerge : public ::testing::TestWithParam<MergeCase> {};

TEST_P(TranscriptAccumulatorMerge, MergesStream) {
    const MergeCase& c = GetParam();
    TranscriptAccumulator accumulator;
    std::string returned;
    for (const Hypothesis& h : c.stream) {
        returned = accumulator.ingest(h.text, h.timestamp);
        ASSERT_EQ(returned, accumulator.text());
    }
    EXPECT_EQ(returned, c.expectedText);
    EXPECT_EQ(accumulator.committedText(), c.expectedCommitted);
    const std::string& active = accumulator.activeText();
    const std::string joined = c.expectedCommitted.empty() ? active
                               : active.empty()            ? c.expectedCommitted
                                                           : c.expectedCommitted + " " + active;
    EXPECT_EQ(accumulator.text(), joined);
}

INSTANTIATE_TEST_SUITE_P(Cases, TranscriptAccumulatorMerge, ::testing::ValuesIn(mergeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TranscriptAccumulator, KnownHypothesisLeavesStateUntouched) {
    TranscriptAccumulator accumulator;
    accumulator.ingest("good morning", 0.0);
    accumulator.ingest("hello there", 2.0);
    const TranscriptAccumulator before = accumulator;
    accumulator.ingest("hello there", 2.0);
    accumulator.ingest("Good morning!", 7.0);
    accumulator.ingest("", 9.0);
    EXPECT_EQ(accumulator, before);
    EXPECT_EQ(accumulator.activeFirstSegmentTimestamp(), 2.0);
}

TEST(TranscriptAccumulator, ResetStartsOver) {
    TranscriptAccumulator accumulator;
    accumulator.ingest("hello there", 0.0);
    accumulator.ingest("how are you", 2.0);
    accumulator.reset();
    EXPECT_EQ(accumulator, TranscriptAccumulator());
    EXPECT_EQ(accumulator.ingest("again", 0.0), "again");
}

}  // namespace
}  // namespace tavlo
