// The style stage and list making, through the whole pipeline.
#include "text/PipelineCases.h"

namespace tavlo::test {
namespace {

using S = TransformStyle;
using ::testing::Values;

INSTANTIATE_TEST_SUITE_P(
    CleanStyle, Pipeline,
    Values(PipelineCase{"Question", "what time is it", S::clean, "What time is it?"},
           PipelineCase{"HowAreYou", "how are you", S::clean, "How are you?"},
           PipelineCase{"QuestionWordNotFirst", "tell me how", S::clean, "Tell me how."},
           PipelineCase{"ApostropheSplitsFirstWord", "what's up", S::clean, "What's up?"},
           PipelineCase{"OnlyFirstWordDecides", "is it done? yes! great", S::clean, "Is it done? Yes! Great?"},
           PipelineCase{"ClosingParenthesis", "he said (see above)", S::clean, "He said (see above)"},
           PipelineCase{"ExistingMarkKept", "done!", S::clean, "Done!"},
           PipelineCase{"ColonKept", "agenda:", S::clean, "Agenda:"},
           PipelineCase{"DigitClearsCapital", "3 apples", S::clean, "3 apples."},
           PipelineCase{"SentenceStarts", "hello. world", S::clean, "Hello. World."},
           PipelineCase{"LoneIStaysLower", "yes and i agree", S::clean, "Yes and i agree."},
           PipelineCase{"QuoteClearsCapital", "\"quoted start", S::clean, "\"quoted start."},
           PipelineCase{"AccentedCapital", "élan vital", S::clean, "Élan vital."},
           PipelineCase{"DecomposedCapital", "e\u0301lan vital", S::clean, "E\u0301lan vital."},
           PipelineCase{"EmojiClearsCapital", "👍 great", S::clean, "👍 great."},
           PipelineCase{"InvertedQuestionMark", "¿qué tal?", S::clean, "¿qué tal?"},
           // A trailing comma is replaced by the closing mark, never followed by it.
           PipelineCase{"StutterAfterComma", "Go, go", S::clean, "Go."},
           PipelineCase{"SpokenTrailingComma", "hello comma", S::clean, "Hello."},
           PipelineCase{"QuestionAfterComma", "how are you comma", S::clean, "How are you?"},
           PipelineCase{"SeveralTrailingCommas", "fine, , ,", S::clean, "Fine."},
           PipelineCase{"ProfessionalTrailingComma", "thanks comma", S::professional, "Thank you."},
           PipelineCase{"SemicolonStillKept", "hello semicolon", S::clean, "Hello;"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    ProfessionalAndCasual, Pipeline,
    Values(PipelineCase{"ProfessionalSwaps", "hey team thanks for the update", S::professional,
                        "Hello team Thank you for the update."},
           PipelineCase{"ProfessionalIThink", "i think we are ready", S::professional, "I think we are ready."},
           PipelineCase{"ProfessionalMidSentence", "many thanks again", S::professional, "Many Thank you again."},
           PipelineCase{"ProfessionalWholeWordsOnly", "heyday thanksgiving", S::professional, "Heyday thanksgiving."},
           PipelineCase{"CasualHello", "hello there how are you", S::casual, "Hey there how are you."},
           PipelineCase{"CasualMidSentence", "I said hello", S::casual, "I said Hey."},
           PipelineCase{"VerbatimNoCapitalsNoMark", "hello there", S::verbatim, "hello there"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    ListStyle, Pipeline,
    Values(PipelineCase{"AndThen", "buy eggs and then milk then bread", S::list, "- Buy eggs\n- Milk\n- Bread"},
           PipelineCase{"CommasDoNotSplit", "eggs, milk, bread", S::list, "- Eggs, milk, bread"},
           PipelineCase{"StopsAndSemicolons", "first step. second step; third step", S::list,
                        "- First step\n- Second step\n- Third step"},
           PipelineCase{"LeadingThenKept", "then buy milk", S::list, "- Then buy milk"},
           PipelineCase{"OnlyMarksUnchanged", ". ; .", S::list, ".;."},
           PipelineCase{"AndThenAnyCase", "BUY EGGS AND THEN MILK", S::list, "- BUY EGGS\n- MILK"},
           PipelineCase{"FirstCharacterIsCluster", "ébauche then e\u0301tude", S::list, "- Ébauche\n- E\u0301tude"},
           PipelineCase{"EmojiFirst", "👍🏽 great then done", S::list, "- 👍🏽 great\n- Done"},
           PipelineCase{"NoClosingMark", "call mom", S::list, "- Call mom"},
           PipelineCase{"SpokenPeriodSplits", "call mom period email Bob", S::list, "- Call mom\n- Email Bob"}),
    caseName);

}  // namespace
}  // namespace tavlo::test
