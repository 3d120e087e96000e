// Cost of the transcript pipeline: one typical dictated utterance, and long
// transcripts (as from file transcription) of 1,000 and 10,000 words full of
// fillers, spoken punctuation, corrections, restarts and stutters, in every
// style. Goals: the utterance within 100 microseconds, 10,000 words within
// 50 milliseconds, and cost growing linearly (10,000 words costing no more than
// about 12 times 1,000 words).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <sstream>
#include <string>

#include "base/Enums.h"
#include "base/Records.h"
#include "text/TextPipeline.h"

namespace {

using tavlo::TransformStyle;

// 36 words as a dictation tool hears them.
const std::string utterance =
    "okay so um I think we should move the weekly sync to Thursday comma because the the client asked for "
    "more time period can you send the updated agenda to the whole team by noon question mark thanks";

// Sentences as people speak them; the long transcript cycles through these.
constexpr std::array<const char*, 10> spokenSentences{
    "um so the the first thing is that we kind of need to finish the report by Friday period",
    "we should meet on Monday we should meet on Tuesday instead comma if that works for you question mark",
    "uh I think the numbers look good comma but you know the margins are sort of thin period",
    "new paragraph next up is the budget colon hardware comma software et cetera period",
    "hmm the the vendor said that they they would call back and then send the quote period",
    "[BLANK_AUDIO] also we need a new line open quote final close quote version of the slides exclamation mark",
    "erm can we can we get the the dashboard numbers by Wednesday question mark",
    "so yeah the launch went well comma really well actually period",
    "please email the team at sign example dot com and then update the tracker semicolon thanks period",
    "ah one more thing dash the office is closed on Monday full stop",
};

// Opens with a correction, so that the text the user kept is the whole rest.
std::string transcript(std::size_t words) {
    std::ostringstream text;
    text << "okay the review is on Monday scratch that ";
    std::size_t written = 8;
    for (std::size_t i = 0; written < words; ++i) {
        const std::string sentence = spokenSentences[i % spokenSentences.size()];
        text << sentence << ' ';
        written += static_cast<std::size_t>(std::count(sentence.begin(), sentence.end(), ' ')) + 1;
    }
    return text.str();
}

void runPipeline(benchmark::State& state, const std::string& text, TransformStyle style) {
    const auto& snippets = tavlo::VoiceSnippet::defaults();
    for (auto _ : state) benchmark::DoNotOptimize(tavlo::TextPipeline::process(text, style, snippets));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

const bool registered = [] {
    static const std::string thousand = transcript(1000);
    static const std::string tenThousand = transcript(10000);
    for (const TransformStyle style : tavlo::allCases<TransformStyle>()) {
        const std::string name(tavlo::rawValue(style));
        benchmark::RegisterBenchmark(("Utterance/" + name).c_str(),
                                     [style](benchmark::State& state) { runPipeline(state, utterance, style); })
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("Transcript1000/" + name).c_str(),
                                     [style](benchmark::State& state) { runPipeline(state, thousand, style); })
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Transcript10000/" + name).c_str(),
                                     [style](benchmark::State& state) { runPipeline(state, tenThousand, style); })
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

}  // namespace
