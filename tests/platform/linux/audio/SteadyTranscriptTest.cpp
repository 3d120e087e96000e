// The on-device decoder's running hypotheses, as it really gave them for
// espeak-ng's "hello world this is a dictation test", turned into partial
// texts that only grow, so that merging them repeats nothing.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/session/TranscriptAccumulator.h"
#include "platform/linux/audio/SteadyTranscript.h"

namespace tavlo {
namespace {

TEST(SteadyTranscript, AWordIsShownOnceTwoHypothesesAgreeAndWhatIsShownOnlyGrows) {
    struct Step {
        const char* hypothesis;
        std::optional<std::string> shown;
    };
    const std::vector<Step> steps = {
        {"oh", std::nullopt},
        {"low", std::nullopt},        // the first word changes its mind
        {"the alu", std::nullopt},
        {"hello world", std::nullopt},
        {"hello world it", "hello world"},
        {"hello world it is", "hello world it"},
        {"oh we're old idiotic", std::nullopt},  // a rewrite of shown words waits
        {"hello world it is a", std::nullopt},   // agrees with nothing before it
        {"hello world it is a test", "hello world it is a"},
    };
    SteadyTranscript steady;
    for (const Step& step : steps) EXPECT_EQ(steady.partial(step.hypothesis), step.shown) << step.hypothesis;
}

TEST(SteadyTranscript, SettledTextKeepsTheShownWordsAndAddsWhatFollowsThem) {
    struct Case {
        const char* name;
        std::vector<const char*> running;
        const char* settled;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"nothing shown yet", {"oh"}, "hello world", "hello world"},
        {"the final goes on from the shown words", {"hello world", "hello world it"}, "hello world it is a test",
         "hello world it is a test"},
        {"the final rewrote shown words", {"hello world", "hello world it"}, "oh we're old idiotic to shoot",
         "hello world old idiotic to shoot"},
        {"the final is shorter", {"hello world it is", "hello world it is a"}, "hello", "hello world it is"},
    };
    for (const Case& c : cases) {
        SteadyTranscript steady;
        for (const char* hypothesis : c.running) steady.partial(hypothesis);
        EXPECT_EQ(steady.settle(c.settled), c.expected) << c.name;
    }
}

// What the merged transcript became before: every change of mind was taken
// for new speech and kept ("oh low the alu oh wow oh where …"). Now each word
// appears once; a first word that two hypotheses agreed on stays, even when
// the decoder later hears it differently.
TEST(SteadyTranscript, MergedPartialsAndFinalRepeatNoWords) {
    const std::vector<const char*> running = {"oh",          "low",          "the alu",           "oh wow",
                                              "oh where",    "low would",    "hello world",       "hello world it is",
                                              "hello world it is a", "oh we're old idiotic to shoot",
                                              "hello world it is a test"};
    SteadyTranscript steady;
    TranscriptAccumulator merged;
    for (const char* hypothesis : running)
        if (auto shown = steady.partial(hypothesis)) merged.ingest(*shown, 0.53);
    merged.ingest(steady.settle("hello world it is a test"), 0.53);
    EXPECT_EQ(merged.text(), "oh world it is a test");
}

}  // namespace
}  // namespace tavlo
