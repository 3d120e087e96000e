// Whole-utterance commands and snippet expansion, through the whole pipeline.
#include "text/PipelineCases.h"

namespace tavlo::test {
namespace {

using S = TransformStyle;
using ::testing::Values;

const std::vector<VoiceSnippet>& defaults() { return VoiceSnippet::defaults(); }

INSTANTIATE_TEST_SUITE_P(
    EmptyInput, Pipeline,
    Values(PipelineCase{"Nothing", "", S::clean, ""},
           PipelineCase{"SpacesTabsNoBreakSpaces", " \t\u00A0 \u00A0\t ", S::clean, ""},
           PipelineCase{"OnlyLineFeeds", "\n\n\n", S::list, ""},
           PipelineCase{"SpacingCollapsed", "  hello \u00A0\t world  ", S::verbatim, "hello world"},
           PipelineCase{"LineFeedsCappedAtTwo", "a\n\n\n\nb", S::verbatim, "a\n\nb"},
           PipelineCase{"ReducedToNothingByLeadIn", "okay", S::clean, ""}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    CancelCommand, Pipeline,
    Values(PipelineCase{"WithFullStop", "cancel.", S::clean, "", false, true},
           PipelineCase{"StopListening", "Stop listening!", S::clean, "", false, true},
           PipelineCase{"SurroundingSpaces", "   Cancel that.  ", S::clean, "", false, true},
           PipelineCase{"UpperCase", "DISCARD THAT", S::professional, "", false, true},
           PipelineCase{"AlsoInVerbatim", "cancel", S::verbatim, "", false, true},
           // Cancel looks at the utterance before the press-enter command is cut off.
           PipelineCase{"NotWithPressEnter", "cancel, send it", S::clean, "Cancel.", true},
           PipelineCase{"InsideSentenceIsText", "please cancel", S::clean, "Please cancel."},
           PipelineCase{"LongerUtteranceIsText", "cancel the meeting", S::clean, "Cancel the meeting."}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    PressEnterCommand, Pipeline,
    Values(PipelineCase{"SendItCutOff", "Thanks, talk soon, send it.", S::clean, "Thanks, talk soon.", true},
           PipelineCase{"NotAtEnd", "send it to me", S::clean, "Send it to me."},
           PipelineCase{"PressEnterAnyCase", "Ship the release PRESS ENTER", S::verbatim, "Ship the release", true},
           PipelineCase{"HitEnterTrailingMarks", "looks good, hit enter!!", S::verbatim, "looks good", true},
           // A plain suffix test: the command is cut out of the last word.
           PipelineCase{"SuffixNotWord", "I will depress enter", S::verbatim, "I will de", true},
           PipelineCase{"CommandAloneLeavesNothing", "Press enter.", S::clean, "", true},
           PipelineCase{"OnlyOneCommandRemoved", "hit enter send it", S::verbatim, "hit enter", true},
           PipelineCase{"LastOccurrenceCut", "send it to Bob and send it", S::verbatim, "send it to Bob and", true},
           PipelineCase{"StyleCommandStillSeen", "make this casual hello send it", S::clean, "Hey.", true}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    SpokenStyleCommand, Pipeline,
    Values(PipelineCase{"Casual", "Make this casual hey can you check this", S::clean, "Hey can you check this."},
           PipelineCase{"MustOpenUtterance", "can you make this casual", S::clean, "Can you make this casual?"},
           PipelineCase{"MoreProfessional", "make this more professional, hey thanks", S::casual,
                        "Hello Thank you."},
           PipelineCase{"OverridesVerbatim", "make this casual hello there", S::verbatim, "Hey there."},
           PipelineCase{"LeaveVerbatim", "Leave this verbatim: um hello there", S::clean, "hello there"},
           PipelineCase{"TurnIntoList", "turn this into a list, buy eggs then milk", S::verbatim,
                        "- Buy eggs\n- Milk"},
           PipelineCase{"CommandAlone", "make this professional", S::clean, ""},
           PipelineCase{"NoCommandChoosesClean", "make this clean hello there", S::verbatim,
                        "make this clean hello there"}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    SnippetExpansion, Pipeline,
    Values(PipelineCase{"WholeUtteranceIsExpansion", "Insert signature", S::clean, "Best,\n[Your name]", false, false,
                        defaults()},
           PipelineCase{"TrailingMarkIsNotWholeUtterance", "insert signature.", S::verbatim,
                        "Best,\n[Your name].", false, false, defaults()},
           PipelineCase{"InsideSentence", "please insert signature now", S::clean, "Please Best,\n[Your name] now", false,
                        false, defaults()},
           PipelineCase{"ExpansionGoesThroughStyle", "shipping note", S::professional,
                        "Implemented, checked locally, and ready for review.", false, false, defaults()},
           // Spaces before the blank lines of the expansion go with the line
           // feeds they touch.
           PipelineCase{"StandupKeepsLineFeeds", "standup update", S::clean,
                        "Yesterday:\n-\n\nToday:\n-\n\nBlocked:\n- None", false, false, defaults()},
           PipelineCase{"NoWordBoundary", "concatenate", S::verbatim, "condogenate", false, false,
                        {{"cat", "dog"}}},
           PipelineCase{"IgnoresDiacritics", "a CAFE please", S::verbatim, "a coffee please", false, false,
                        {{"café", "coffee"}}},
           PipelineCase{"FoldsTextDiacritics", "fly to MÜNCHEN today", S::verbatim, "fly to Munich today", false,
                        false, {{"munchen", "Munich"}}},
           PipelineCase{"DecomposedDiacriticInsideMatch", "fly to MU\u0308NCHEN today", S::verbatim,
                        "fly to Munich today", false, false, {{"munchen", "Munich"}}},
           PipelineCase{"LaterSnippetSeesEarlierResult", "say foo", S::verbatim, "say qux baz", false, false,
                        {{"foo", "bar baz"}, {"bar", "qux"}}},
           PipelineCase{"WholeMatchEndsExpansion", "foo", S::verbatim, "bar", false, false,
                        {{"foo", "bar"}, {"bar", "never"}}},
           PipelineCase{"EmptyPhraseSkipped", "hello", S::verbatim, "hello", false, false, {{"", "boom"}}},
           PipelineCase{"AfterPressEnterCut", "insert signature send it", S::verbatim, "Best,\n[Your name]", true, false,
                        defaults()},
           PipelineCase{"ExpansionMayHoldStyleCommand", "sig", S::verbatim, "- Call me\n- Bye", false, false,
                        {{"sig", "turn to list call me. bye"}}}),
    caseName);

}  // namespace
}  // namespace tavlo::test
