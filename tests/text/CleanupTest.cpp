// The clean-up stages, through the whole pipeline. Rows use the verbatim style
// where capitals and the closing mark would only get in the way.
#include "text/PipelineCases.h"

namespace tavlo::test {
namespace {

using S = TransformStyle;
using ::testing::Values;

INSTANTIATE_TEST_SUITE_P(
    SelfCorrection, Pipeline,
    Values(PipelineCase{"KeepsWhatFollowsCue", "Let's meet Tuesday, scratch that, Wednesday works", S::clean,
                        "Wednesday works."},
           PipelineCase{"NothingAfterCue", "Mail it to Bob, scratch that", S::clean, "Mail it to Bob, scratch that."},
           PipelineCase{"IMeanNeedsPriorText", "I mean it", S::clean, "I mean it."},
           PipelineCase{"IMean", "Call Anna, I mean Hanna", S::clean, "Hanna."},
           PipelineCase{"OneCharacterLeft", "Call Anna, I mean B", S::clean, "Call Anna, I mean B."},
           // Characters are grapheme clusters: an emoji with a skin tone, a
           // family joined by ZWJ, a letter with a combining accent are one each.
           PipelineCase{"OneEmojiLeft", "Call Anna, I mean 👍🏽", S::clean, "Call Anna, I mean 👍🏽."},
           PipelineCase{"ZwjFamilyIsOneCharacter", "Call Anna, I mean 👨‍👩‍👧", S::clean,
                        "Call Anna, I mean 👨‍👩‍👧."},
           PipelineCase{"DecomposedLetterIsOneCharacter", "Call Anna, I mean e\u0301", S::verbatim,
                        "Call Anna, I mean e\u0301"},
           PipelineCase{"TwoEmojiAreEnough", "Call Anna, I mean 👍🏽👍🏽", S::clean, "👍🏽👍🏽."},
           PipelineCase{"LastCueWins", "use red scratch that blue scratch that green", S::clean, "Green."},
           PipelineCase{"RetractionTriedBeforeIMean", "first idea scratch that second idea I mean third idea",
                        S::clean, "Second idea I mean third idea."},
           PipelineCase{"NoActually", "send it to Tom no, actually Tim please", S::clean, "Tim please."},
           // Cut at UTF-16 positions: characters outside the BMP before the cue.
           PipelineCase{"AfterAstralCharacters", "😀😀 meet Tuesday, scratch that, Wednesday works", S::verbatim,
                        "Wednesday works"},
           PipelineCase{"AlsoInVerbatim", "the plan is set scratch that the plan is done", S::verbatim,
                        "the plan is done"}),
    caseName);

// A file transcript or a selection holds cue phrases as content: without the
// self-correction stage everything is kept, and the other stages still run.
TEST(SelfCorrectionStage, CanBeLeftOutWhileDictationsKeepIt) {
    struct Case {
        const char* input;
        const char* dictated;
        const char* asContent;
    };
    const Case cases[] = {
        {"Call Anna, I mean Hanna", "Hanna.", "Call Anna, I mean Hanna."},
        {"um we met on Monday scratch that it was a long day", "It was a long day.",
         "We met on Monday scratch that it was a long day."},
        {"no actually the report is done comma thanks", "The report is done, thanks.",
         "No actually the report is done, thanks."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(TextPipeline::process(c.input, S::clean, {}).text, c.dictated);
        EXPECT_EQ(TextPipeline::process(c.input, S::clean, {}, TextPipeline::SelfCorrections::apply).text,
                  c.dictated);
        EXPECT_EQ(TextPipeline::process(c.input, S::clean, {}, TextPipeline::SelfCorrections::keepAsSpoken).text,
                  c.asContent);
    }
}

INSTANTIATE_TEST_SUITE_P(
    RecognizerMarkers, Pipeline,
    Values(PipelineCase{"SquareBrackets", "[BLANK_AUDIO] hello", S::clean, "Hello."},
           PipelineCase{"RoundBracketsInside", "hello (blank audio) world", S::clean, "Hello world."},
           PipelineCase{"SpacesInsideBrackets", "fine [ blank_audio ] thanks", S::verbatim, "fine thanks"},
           PipelineCase{"NoSpeechAlone", "<|nospeech|>", S::clean, ""},
           PipelineCase{"GluedToWordKept", "hello[BLANK_AUDIO]", S::clean, "Hello[BLANK_AUDIO]"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    EtCetera, Pipeline,
    Values(PipelineCase{"TwoWords", "apples, pears et cetera", S::clean, "Apples, pears etc."},
           PipelineCase{"OneWordAnyCase", "apples Etcetera", S::verbatim, "apples etc."},
           // A capital follows every full stop, the one of "etc." too.
           PipelineCase{"BeforeMoreText", "pens etcetera and so on", S::clean, "Pens etc. And so on."}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    SpokenSymbols, Pipeline,
    Values(PipelineCase{"CommaBetweenWords", "yes comma please", S::clean, "Yes, please."},
           PipelineCase{"AnyCase", "yes COMMA please", S::verbatim, "yes, please"},
           PipelineCase{"AfterUnicodeSpace", "yes\u2003comma please", S::verbatim, "yes, please"},
           PipelineCase{"PeriodFirstWordKept", "Period drama is my favourite genre", S::clean,
                        "Period drama is my favourite genre."},
           PipelineCase{"PeriodBlockedByNextWord", "I love a period drama", S::clean, "I love a period drama."},
           PipelineCase{"PeriodAtEnd", "end of story period", S::clean, "End of story."},
           PipelineCase{"NewLineAtStartTrimmed", "new line Dear team", S::clean, "Dear team."},
           PipelineCase{"DashCamKept", "the dash cam footage", S::verbatim, "the dash cam footage"},
           PipelineCase{"Dash", "pages one dash five", S::verbatim, "pages one - five"},
           PipelineCase{"QuoteUnquoteKept", "she said quote unquote fine", S::verbatim, "she said quote unquote fine"},
           PipelineCase{"AtSign", "email me at sign", S::verbatim, "email me @"},
           PipelineCase{"CommaAloneKept", "comma", S::verbatim, "comma"},
           PipelineCase{"GluedPhrasesKept", "commas and periodical", S::verbatim, "commas and periodical"},
           PipelineCase{"EarlierEntryTakesLaterWords", "single quote", S::verbatim, "single \""},
           PipelineCase{"SingleQuoteWhenQuoteBlocked", "single quote marks", S::verbatim, "' marks"},
           PipelineCase{"QuotesAndParentheses",
                        "he said open quote hi close quote open parenthesis really close parenthesis", S::verbatim,
                        "he said \" hi \" ( really )"},
           PipelineCase{"Brackets", "see open bracket one close bracket", S::verbatim, "see [ one ]"},
           PipelineCase{"QuestionMark", "really question mark", S::verbatim, "really?"},
           PipelineCase{"QuestionMarkIconKept", "click the question mark icon", S::verbatim,
                        "click the question mark icon"},
           PipelineCase{"ExclamationPoint", "wait exclamation point", S::verbatim, "wait!"},
           PipelineCase{"FullStop", "hello full stop", S::verbatim, "hello."},
           PipelineCase{"Colon", "note colon buy milk", S::verbatim, "note: buy milk"},
           PipelineCase{"Semicolon", "one semicolon two", S::verbatim, "one; two"},
           PipelineCase{"Slash", "yes slash no", S::verbatim, "yes / no"},
           PipelineCase{"SlashCommandKept", "type slash command", S::verbatim, "type slash command"},
           PipelineCase{"CommaSeparatedKept", "a comma separated list", S::verbatim, "a comma separated list"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    PunctuationSpacing, Pipeline,
    Values(PipelineCase{"SpaceAfterStopBetweenLetters", "see example.com", S::verbatim, "see example. com"},
           PipelineCase{"DecimalKept", "pay 3.5 percent", S::verbatim, "pay 3.5 percent"},
           PipelineCase{"EtcJoined", "apples etc . pears", S::verbatim, "apples etc. pears"},
           PipelineCase{"SpaceMovedAfterComma", "hello ,world", S::verbatim, "hello, world"},
           PipelineCase{"SpaceAfterBang", "wait!what", S::verbatim, "wait! what"},
           PipelineCase{"DigitAfterColonKept", "at 10:30", S::verbatim, "at 10:30"},
           PipelineCase{"SymbolsAreNotPunctuation", "costs $ 5 + tax", S::verbatim, "costs $ 5 + tax"},
           PipelineCase{"SpacesBeforeMarksGo", "really  ?  yes", S::verbatim, "really? yes"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    LeadIns, Pipeline,
    Values(PipelineCase{"OnlyFirstWord", "Okay so we are done", S::verbatim, "so we are done"},
           PipelineCase{"AndYeah", "and yeah we shipped it", S::verbatim, "we shipped it"},
           PipelineCase{"JoinerAlone", "also we shipped it", S::verbatim, "we shipped it"},
           PipelineCase{"JoinerWithComma", "Also, the tests pass", S::verbatim, "the tests pass"},
           PipelineCase{"MiddleKept", "we did so well", S::verbatim, "we did so well"},
           PipelineCase{"WordPrefixKept", "Sofia called", S::verbatim, "Sofia called"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Fillers, Pipeline,
    Values(PipelineCase{"LeadingUm", "um I think so", S::verbatim, "I think so"},
           PipelineCase{"CapitalisedKept", "Um I think so", S::verbatim, "Um I think so"},
           PipelineCase{"WithComma", "I, uh, think so", S::verbatim, "I, think so"},
           PipelineCase{"Hedges", "it was kind of, you know, great", S::verbatim, "it was great"},
           PipelineCase{"HedgeAnyCase", "it is Sort Of fine", S::verbatim, "it is fine"},
           PipelineCase{"YouKnowBeforeLongerAlternative", "that is you know what i mean", S::verbatim,
                        "that is what i mean"},
           PipelineCase{"InsideWordKept", "umbrella and hmmm", S::verbatim, "umbrella and hmmm"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    RestartedClauses, Pipeline,
    Values(PipelineCase{"RevisedClause", "we should meet on Monday we should meet on Tuesday instead", S::verbatim,
                        "we should meet on Tuesday instead"},
           PipelineCase{"SevenWordsKept", "go to the go to the shop", S::verbatim, "go to the go to the shop"},
           PipelineCase{"EightWordsCollapsed", "go to the go to the shop now", S::verbatim, "go to the shop now"},
           PipelineCase{"FiveOfSevenNotEnough",
                        "please send the report to the team please send the final report to Anna", S::verbatim,
                        "please send the report to the team please send the final report to Anna"},
           PipelineCase{"SixOfSevenEnough", "please send the report to the team please send the report to the board",
                        S::verbatim, "please send the report to the board"},
           PipelineCase{"IgnoresCaseAndPunctuation", "We should, meet on Monday we should meet on Tuesday instead",
                        S::verbatim, "we should meet on Tuesday instead"},
           PipelineCase{"DifferentClauseKept", "I want to buy a car I want to sell my house today", S::verbatim,
                        "I want to buy a car I want to sell my house today"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Stutters, Pipeline,
    Values(PipelineCase{"TheThe", "the the report", S::verbatim, "the report"},
           PipelineCase{"KeepsFirstWithItsPunctuation", "Go, go", S::verbatim, "Go,"},
           PipelineCase{"Run", "I I I think", S::verbatim, "I think"},
           PipelineCase{"IgnoresCaseAndMarks", "Hello, hello... HELLO! there", S::verbatim, "Hello, there"},
           PipelineCase{"DifferentWordsKept", "that that's fine", S::verbatim, "that that's fine"},
           PipelineCase{"PunctuationOnlyWordsKept", "wait - - what", S::verbatim, "wait - - what"},
           PipelineCase{"VerbatimStillCleansUp", "yeah um I I think so", S::verbatim, "I think so"}),
    caseName);

// Line feeds survive every whitespace collapse; the spaces and tabs next to
// them are dropped.
INSTANTIATE_TEST_SUITE_P(
    LineFeeds, Pipeline,
    Values(PipelineCase{"NewParagraph", "first point new paragraph second point", S::clean,
                        "First point\n\nSecond point"},
           PipelineCase{"NewLine", "hello new line world", S::clean, "Hello\nWorld"},
           PipelineCase{"AtMostTwoInARow", "a new line new line new line new line b", S::clean, "A\n\nB"},
           PipelineCase{"TabsAroundLineFeed", "hello\t\n\tworld", S::verbatim, "hello\nworld"},
           PipelineCase{"CarriageReturnLineFeed", "hello\r\nworld", S::verbatim, "hello\nworld"},
           PipelineCase{"NoClosingMarkAcrossLines", "dear team new line see you", S::clean, "Dear team\nSee you"},
           PipelineCase{"ListSplitsAtLineFeed", "eggs new line milk", S::list, "- Eggs\n- Milk"},
           PipelineCase{"ListDropsBlankLine", "first point new paragraph second point", S::list,
                        "- First point\n- Second point"}),
    caseName);

}  // namespace
}  // namespace tavlo::test
