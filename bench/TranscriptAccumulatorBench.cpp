// Cost of merging one partial result late in a long dictation: every ingest
// re-reads the whole transcript, so this grows with its length.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/session/TranscriptAccumulator.h"

namespace {

std::vector<std::string> sentenceWords() {
    return {"so", "the", "plan", "for", "today", "is", "to", "finish", "the", "report,", "then", "call",
            "the", "team", "about", "Friday's", "release."};
}

// A dictation of `words` words, fed as the recogniser does: a growing
// hypothesis per segment, a new segment every sentence.
void BM_IngestPartialInLongDictation(benchmark::State& state) {
    const auto words = sentenceWords();
    const int total = static_cast<int>(state.range(0));
    tavlo::TranscriptAccumulator prepared;
    std::string hypothesis;
    double timestamp = 0;
    for (int i = 0; i < total; ++i) {
        if (i % static_cast<int>(words.size()) == 0) {
            hypothesis.clear();
            timestamp += 4.0;
        }
        // Numbered so that no sentence repeats an earlier one.
        hypothesis += (hypothesis.empty() ? "" : " ") + words[i % words.size()] +
                      std::to_string(i / words.size());
        prepared.ingest(hypothesis, timestamp);
    }
    const std::string next = hypothesis + " and";
    state.counters["chars"] = static_cast<double>(prepared.text().size());
    for (auto _ : state) {
        tavlo::TranscriptAccumulator accumulator = prepared;
        benchmark::DoNotOptimize(accumulator.ingest(next, timestamp));
    }
}
BENCHMARK(BM_IngestPartialInLongDictation)->Arg(50)->Arg(500)->Arg(2000)->Unit(benchmark::kMicrosecond);

}  // namespace
