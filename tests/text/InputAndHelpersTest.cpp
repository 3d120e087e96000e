// Untrusted input, concurrent use, and the helpers whose rules are easiest to
// get wrong: whitespace collapsing, restart similarity and character counts.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "app/cli/Utf8.h"
#include "base/Enums.h"
#include "base/Records.h"
#include "text/Cleanup.h"
#include "text/IcuText.h"
#include "text/PipelineCases.h"
#include "text/Snippets.h"
#include "text/TextPipeline.h"

namespace tavlo::test {
namespace {

using S = TransformStyle;
using ::testing::Values;
namespace detail = TextPipeline::detail;

INSTANTIATE_TEST_SUITE_P(
    InvalidUtf8, Pipeline,
    Values(PipelineCase{"LoneLeadByte", "caf\xC3 ok", S::clean, "Caf\uFFFD ok."},
           PipelineCase{"OnlyInvalidBytes", "\xFF\xFE", S::verbatim, "\uFFFD\uFFFD"},
           PipelineCase{"EmbeddedNul", std::string("a\0b", 3), S::verbatim, std::string("a\0b", 3)}),
    caseName);

TEST(UntrustedInput, OutputIsValidUtf8InEveryStyle) {
    const std::vector<std::string> inputs = {
        "\xED\xA0\x80 encoded surrogate",  "overlong \xC0\xAF slash", "cut short \xF0\x9F\x98",
        "\x80\x80 stray continuations",     "\xF4\x90\x80\x80 above U+10FFFF", "ok\xE2\x82 comma \xE2",
    };
    for (const auto& input : inputs) {
        for (const TransformStyle style : allCases<TransformStyle>()) {
            const ProcessedText result = TextPipeline::process(input, style, VoiceSnippet::defaults());
            EXPECT_TRUE(cli::isValidUtf8(result.text)) << input << " in " << rawValue(style);
            EXPECT_NE(result.text.find("\uFFFD"), std::string::npos) << input << " in " << rawValue(style);
        }
    }
}

TEST(UntrustedInput, InvalidBytesInSnippetsAreReplacedToo) {
    const std::vector<VoiceSnippet> snippets = {{"sig\xFF", "bye\xC3"}};
    const ProcessedText result = TextPipeline::process("sig\xFF", S::verbatim, snippets);
    EXPECT_EQ(result.text, "bye\uFFFD");
}

// The pipeline keeps per-thread ICU objects and compiled patterns shared by
// all threads; concurrent calls must give the same results as serial ones.
TEST(Concurrency, ParallelCallsAgreeWithSerialOnes) {
    const std::vector<std::string> inputs = {
        "um so we should meet on Monday we should meet on Tuesday instead comma right question mark",
        "hey team thanks new paragraph insert signature",
        "Call Anna, I mean Hanna 👍🏽 then fly to MÜNCHEN",
        "é\u0301 new line 👨‍👩‍👧 period drama and then done",
    };
    std::vector<std::string> expected;
    for (const auto& input : inputs)
        for (const TransformStyle style : allCases<TransformStyle>())
            expected.push_back(TextPipeline::process(input, style, VoiceSnippet::defaults()).text);

    std::vector<std::vector<std::string>> seen(4);
    std::vector<std::thread> threads;
    for (auto& results : seen) {
        threads.emplace_back([&inputs, &results] {
            for (int round = 0; round < 20; ++round)
                for (const auto& input : inputs)
                    for (const TransformStyle style : allCases<TransformStyle>())
                        results.push_back(TextPipeline::process(input, style, VoiceSnippet::defaults()).text);
        });
    }
    for (auto& thread : threads) thread.join();
    for (const auto& results : seen) {
        ASSERT_EQ(results.size(), 20 * expected.size());
        for (std::size_t i = 0; i < results.size(); ++i) EXPECT_EQ(results[i], expected[i % expected.size()]);
    }
}

struct TextPair {
    const char* name;
    std::string input;
    std::string expected;
};
std::string pairName(const ::testing::TestParamInfo<TextPair>& info) { return info.param.name; }
void PrintTo(const TextPair& row, std::ostream* out) { *out << row.name << " \"" << row.input << "\""; }

class CollapseWhitespaceRuns : public ::testing::TestWithParam<TextPair> {};

TEST_P(CollapseWhitespaceRuns, Collapses) {
    const auto& row = GetParam();
    EXPECT_EQ(detail::toUtf8(detail::collapseWhitespaceRuns(detail::fromUtf8(row.input))), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Helpers, CollapseWhitespaceRuns,
    Values(TextPair{"TwoSpaces", "a  b", "a b"}, TextPair{"SpaceAndTab", "a \t b", "a b"},
           TextPair{"LoneTabKept", "a\tb", "a\tb"}, TextPair{"LoneUnicodeSpaceKept", "a\u2003b", "a\u2003b"},
           TextPair{"UnicodeSpaces", "a\u2003\u3000b", "a b"}, TextPair{"SpacesAroundLineFeed", "a \n b", "a\nb"},
           TextPair{"LineFeedsKept", "a \n\n\n b", "a\n\n\nb"}, TextPair{"CarriageReturnDropped", "a\r\nb", "a\nb"},
           TextPair{"LoneLineFeedKept", "a\nb", "a\nb"}, TextPair{"EdgesToo", "  a  ", " a "}),
    pairName);

std::vector<detail::UnicodeString> words(std::initializer_list<const char*> list) {
    std::vector<detail::UnicodeString> converted;
    for (const char* word : list) converted.push_back(detail::fromUtf8(word));
    return converted;
}

TEST(RevisionSimilarity, MatchesWordsAsAMultisetOverTheLongerList) {
    EXPECT_EQ(detail::revisionSimilarity({}, words({"a"})), 0.0);
    EXPECT_EQ(detail::revisionSimilarity(words({"a"}), {}), 0.0);
    EXPECT_EQ(detail::revisionSimilarity(words({"We", "should,"}), words({"we", "(should)"})), 1.0);
    // Each word of the right list is used once.
    EXPECT_EQ(detail::revisionSimilarity(words({"the", "the"}), words({"the", "end"})), 0.5);
    // Words that are only punctuation never match, yet count in the length.
    EXPECT_EQ(detail::revisionSimilarity(words({"--", "a"}), words({"--", "a"})), 0.5);
    EXPECT_EQ(detail::revisionSimilarity(words({"a"}), words({"a", "b", "c"})), 1.0 / 3.0);
    // Canonically equivalent spellings are the same word.
    EXPECT_EQ(detail::revisionSimilarity(words({"caf\u00E9"}), words({"CAFE\u0301"})), 1.0);
}

TEST(CharacterClasses, AsciiTableAgreesWithIcu) {
    for (UChar32 c = 0; c < 0x80; ++c) {
        const uint32_t category = U_GET_GC_MASK(c);
        EXPECT_EQ(detail::isWhitespace(c), static_cast<bool>(u_isUWhiteSpace(c))) << c;
        EXPECT_EQ(detail::isPunctuation(c), (category & U_GC_P_MASK) != 0) << c;
        EXPECT_EQ(detail::isLetter(c), (category & U_GC_L_MASK) != 0) << c;
        EXPECT_EQ(detail::isAlphanumeric(c), (category & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0) << c;
    }
}

TEST(GraphemeCount, CountsUserPerceivedCharacters) {
    const std::vector<std::pair<std::string, int>> rows = {
        {"", 0},         {"ab", 2},        {"e\u0301", 1},     {"👍🏽", 1}, {"👨‍👩‍👧", 1},
        {"🇩🇪🇫🇷", 2}, {"\r\n", 1},       {"a\u0301b\u0302", 2}, {"한국어", 3},
    };
    for (const auto& [text, count] : rows)
        EXPECT_EQ(detail::graphemeCount(detail::fromUtf8(text), 100), count) << text;
}

TEST(SnippetMatching, IgnoresCaseAndDiacriticsButNotPunctuation) {
    auto u = [](const char* text) { return detail::fromUtf8(text); };
    EXPECT_TRUE(detail::equalIgnoringCaseAndDiacritics(u("munchen"), u("MÜNCHEN")));
    EXPECT_TRUE(detail::equalIgnoringCaseAndDiacritics(u("Crème Brûlée"), u("creme brulee")));
    EXPECT_FALSE(detail::equalIgnoringCaseAndDiacritics(u("munchen"), u("munchen!")));
    EXPECT_FALSE(detail::equalIgnoringCaseAndDiacritics(u("munchen"), u("munich")));
    // The original span is replaced, including a combining accent.
    EXPECT_EQ(detail::toUtf8(detail::replacingIgnoringCaseAndDiacritics(u("to MU\u0308NCHEN and munchen!"),
                                                                         u("münchen"), u("M"))),
              "to M and M!");
}

// Snippets whose expansions hold the next snippet's phrase many times grow the
// text geometrically; expansion stops once the text has grown past the limit,
// and what was expanded up to then is kept, the rest left as it was.
TEST(SnippetExpansion, ChainedSnippetsStopGrowingPastTheLimit) {
    std::vector<VoiceSnippet> snippets;
    for (int level = 1; level <= 6; ++level) {
        std::string expansion;
        for (int copy = 0; copy < 10; ++copy) expansion += "w" + std::to_string(level + 1) + " ";
        snippets.push_back({"w" + std::to_string(level), expansion});
    }
    // Unbounded, "say w1" would become 10^6 copies of "w7", over three million characters.
    const auto expanded = detail::expandSnippets(detail::fromUtf8("say w1"), snippets);
    EXPECT_GT(expanded.length(), detail::snippetGrowthLimit);
    EXPECT_LT(expanded.length(), 2 * detail::snippetGrowthLimit + 100);
    // The fifth snippet passed the limit: its first occurrences are expanded,
    // the later ones are left, and the sixth snippet is not applied.
    const std::string text = detail::toUtf8(expanded);
    EXPECT_TRUE(text.starts_with("say w6 w6 w6 ")) << text.substr(0, 40);
    EXPECT_EQ(text.substr(text.find_last_not_of(' ') - 1, 2), "w5") << text.substr(text.size() - 40);
    EXPECT_EQ(text.find("w7"), std::string::npos);

    // Ordinary use is far from the limit.
    const std::string ordinary = detail::toUtf8(detail::expandSnippets(detail::fromUtf8("say w5"), snippets));
    std::size_t copies = 0;
    for (auto at = ordinary.find("w7"); at != std::string::npos; at = ordinary.find("w7", at + 1)) ++copies;
    EXPECT_EQ(copies, 100u);
}

}  // namespace
}  // namespace tavlo::test
