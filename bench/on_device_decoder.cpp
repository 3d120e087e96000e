// The on-device recogniser's decoder alone, on files instead of a microphone,
// so the figures do not depend on how busy the machine is:
// - how far behind the voice the first word appears, in audio time: from the
//   first loud sample to the end of the 20 ms piece after which the decoder
//   first has a word (the listening goal is a first partial within 300 ms);
// - processor time of decoding, per second of speech (goal, with capture:
//   under 20 % of one core);
// - processor time from the end of audio to the final text, which the user
//   waits for after the release;
// - word errors against what espeak-ng was asked to say, to weigh any speed
//   gained against accuracy.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "harness/RunProgram.h"
#include "harness/TemporaryDirectory.h"
#include "platform/linux/audio/PocketSphinxDecoder.h"

namespace {

using namespace tavlo;

// The sentences the recogniser's tests and benchmarks speak.
const std::vector<std::string> kSentences{
    "hello world, this is a test",
    "please write down this short note for me",
    "hello world, this is a dictation test",
    "hello world this is a test of the microphone",
    "close the window",
    "the meeting is moved to thursday afternoon",
};

double threadProcessorSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

std::vector<std::string> words(const std::string& text) {
    std::string letters;
    for (char c : text) letters += (std::isalpha(static_cast<unsigned char>(c)) || c == ' ')
                                       ? static_cast<char>(std::tolower(static_cast<unsigned char>(c)))
                                       : ' ';
    std::istringstream in(letters);
    return {std::istream_iterator<std::string>(in), {}};
}

// Substitutions, insertions and deletions between the two word lists.
std::size_t wordErrors(const std::vector<std::string>& said, const std::vector<std::string>& heard) {
    std::vector<std::size_t> row(heard.size() + 1);
    for (std::size_t j = 0; j <= heard.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= said.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= heard.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (said[i - 1] != heard[j - 1] ? 1 : 0)});
            diagonal = above;
        }
    }
    return row[heard.size()];
}

// espeak-ng's voice as 16 kHz mono 16-bit samples (what the decoder hears).
std::vector<std::int16_t> spoken(const std::string& sentence, const testing::TemporaryDirectory& folder) {
    const auto wav = folder / "speech.wav";
    const auto raw = folder / "speech.raw";
    testing::runProgram("/usr/bin/espeak-ng", {"-v", "en-us", "-w", wav.string(), sentence});
    testing::runProgram("/usr/bin/sox", {wav.string(), "-r", "16000", "-c", "1", "-b", "16", "-e", "signed-integer",
                                         "-t", "raw", raw.string()});
    std::ifstream in(raw, std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::copy_n(bytes.data(), samples.size() * 2, reinterpret_cast<char*>(samples.data()));
    return samples;
}

void BM_OnDeviceDecoderOnTestSentences(benchmark::State& state) {
    const PocketSphinxModel model = PocketSphinxModel::usEnglish();
    if (!model.isInstalled()) {
        state.SkipWithError("the US English model is not installed");
        return;
    }
    testing::TemporaryDirectory folder;
    std::vector<std::vector<std::int16_t>> audio;
    for (const std::string& sentence : kSentences) audio.push_back(spoken(sentence, folder));
    PocketSphinxDecoder decoder(model);
    constexpr std::size_t piece = 320;  // 20 ms, as often as the recogniser asks for a partial

    double lagSum = 0, decodingSeconds = 0, finalSeconds = 0, audioSeconds = 0;
    std::size_t errors = 0, said = 0, runs = 0;
    for (auto _ : state) {
        for (std::size_t s = 0; s < audio.size(); ++s) {
            const std::vector<std::int16_t>& samples = audio[s];
            const auto onset = std::find_if(samples.begin(), samples.end(), [](std::int16_t v) { return std::abs(v) > 655; });
            const std::size_t onsetAt = static_cast<std::size_t>(onset - samples.begin());
            decoder.start();
            double firstWordLag = -1;
            const double before = threadProcessorSeconds();
            for (std::size_t at = 0; at < samples.size(); at += piece) {
                const std::size_t count = std::min(piece, samples.size() - at);
                decoder.process(samples.data() + at, count);
                // Asked every time, as the recogniser does for its partial results.
                const bool hasWord = !decoder.hypothesis().text.empty();
                if (firstWordLag < 0 && at + count > onsetAt && hasWord)
                    firstWordLag = double(at + count - onsetAt) / 16000.0;
            }
            const double decoded = threadProcessorSeconds();
            decoder.finish();
            const std::string heard = decoder.hypothesis().text;
            finalSeconds += threadProcessorSeconds() - decoded;
            decodingSeconds += decoded - before;
            audioSeconds += double(samples.size()) / 16000.0;
            lagSum += firstWordLag;
            errors += wordErrors(words(kSentences[s]), words(heard));
            said += words(kSentences[s]).size();
            ++runs;
        }
    }
    state.counters["first_word_behind_voice_ms"] = 1000 * lagSum / double(runs);
    state.counters["decoding_share_of_one_core_percent"] = 100 * decodingSeconds / audioSeconds;
    state.counters["end_of_audio_to_final_ms"] = 1000 * finalSeconds / double(runs);
    state.counters["word_errors_percent"] = 100.0 * double(errors) / double(said);
}
BENCHMARK(BM_OnDeviceDecoderOnTestSentences)->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace
