// The speech gate on made-up verdicts: which audio reaches the recogniser,
// which is kept from it, and that every sample is accounted for in order.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "platform/linux/audio/SpeechGate.h"

namespace tavlo {
namespace {

constexpr std::size_t kFrame = 4;

// What the gate did, one letter per frame's worth of samples: 'h' heard,
// 's' skipped, '|' the end of a stretch of speech (samples held back at the
// end of the audio are neither). Heard samples must come in
// the order of the audio with none missing or repeated.
class Recorder final : public GatedAudio {
public:
    void hear(const std::int16_t* samples, std::size_t count) override {
        for (std::size_t i = 0; i < count; ++i) {
            EXPECT_EQ(samples[i], static_cast<std::int16_t>(position)) << "at sample " << position;
            ++position;
        }
        log += std::string(count / kFrame, 'h');
        if (count % kFrame) log += "(" + std::to_string(count % kFrame) + ")";
    }
    void speechEnded() override { log += '|'; }
    void skip(std::size_t count) override {
        position += count;
        log += std::string(count / kFrame, 's');
    }

    std::size_t position = 0;
    std::string log;
};

// Verdicts written as '1' (speech) and '0'; numbered samples go in.
std::string run(const std::string& verdicts, const SpeechGateRules& rules, std::size_t rest = 0) {
    SpeechGate gate(kFrame, rules);
    Recorder recorder;
    std::vector<std::int16_t> audio(verdicts.size() * kFrame + rest);
    std::iota(audio.begin(), audio.end(), std::int16_t{0});
    for (std::size_t i = 0; i < verdicts.size(); ++i) gate.frame(audio.data() + i * kFrame, verdicts[i] == '1', recorder);
    gate.finalRest(audio.data() + verdicts.size() * kFrame, rest, recorder);
    return recorder.log;
}

TEST(SpeechGate, HandsOnSpeechWithItsLeadInAndKeepsTheRestFromTheRecogniser) {
    const SpeechGateRules rules{/*openingFrames=*/3, /*leadInFrames=*/2, /*closingFrames=*/4, /*tailFrames=*/2};
    struct Case {
        const char* name;
        std::string verdicts;
        std::size_t rest;
        std::string expected;
    };
    const Case cases[] = {
        {"silence only", "00000000", 0, "ssssss"},
        {"clicks shorter than the opening run", "0110100110", 0, "ssssssss"},
        {"speech from the first frame", "1110", 0, "hhhh"},
        // The two frames before the run come along; the closing stretch is heard.
        // The two frames before the run come along; of the closing stretch
        // only its start is heard.
        {"speech after silence", "000011100000", 0, "ss" "hhhhh" "hh" "|" "ss"},
        {"a pause shorter than the closing stretch is heard whole", "1110001110000", 0, "hhh" "hhhhhh" "hh" "|" "ss"},
        {"a long pause closes and a new stretch opens", "1110000000111", 0, "hhh" "hh" "|" "ss" "s" "hhhhh"},
        {"the rest after the last frame is heard while open", "111", 3, "hhh(3)"},
        {"the rest is dropped while closed", "000", 3, "s"},
        {"the rest is dropped inside a pause", "111000", 3, "hhhhh"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.verdicts, rules, c.rest), c.expected) << c.name;
}

}  // namespace
}  // namespace tavlo
