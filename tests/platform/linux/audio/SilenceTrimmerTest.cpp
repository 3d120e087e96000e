// The real silence trimmer on real speech: espeak-ng's voice with seconds of
// silence or low noise around it, in the forms a recording takes. The speech
// must survive whole; the padding must go; a recording without speech is
// recognised as such and left alone.
#include <gtest/gtest.h>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "harness/PaddedSpeech.h"
#include "harness/TemporaryDirectory.h"
#include "platform/linux/audio/SndfileSilenceTrimmer.h"

namespace tavlo {
namespace {

namespace fs = std::filesystem;
using testing::Padding;
using testing::RecordingForm;

const char* const kSentence = "hello world, this is a dictation test";
constexpr double kPaddingSeconds = 3.0;
// The trimmer keeps a quarter of a second each side; noise right after the
// speech may be heard as its tail for a little longer.
constexpr double kLongestKeptPaddingSeconds = 0.6;

struct Audio {
    int sampleRate = 0;
    int channels = 0;
    int format = 0;
    std::vector<float> mono;  // the first channel

    double seconds() const { return double(mono.size()) / sampleRate; }
};

Audio readAudio(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
        return {};
    }
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    Audio audio{info.samplerate, info.channels, info.format, {}};
    for (std::size_t i = 0; i < interleaved.size(); i += static_cast<std::size_t>(info.channels))
        audio.mono.push_back(interleaved[i]);
    return audio;
}

// Where the bare speech is audible: its first and last loud sample, in seconds.
std::pair<double, double> audibleExtent(const Audio& audio) {
    const auto loud = [](float sample) { return std::fabs(sample) > 0.02f; };
    const auto first = std::find_if(audio.mono.begin(), audio.mono.end(), loud);
    const auto last = std::find_if(audio.mono.rbegin(), audio.mono.rend(), loud);
    return {double(first - audio.mono.begin()) / audio.sampleRate,
            double(audio.mono.rend() - last) / audio.sampleRate};
}

// Where `part` starts inside `whole`, found by the samples around its first
// loud one (silence alone would match anywhere), or -1.
long offsetOf(const Audio& part, const Audio& whole) {
    const auto loud = std::find_if(part.mono.begin(), part.mono.end(), [](float s) { return std::fabs(s) > 0.02f; });
    if (part.mono.end() - loud < 256) return -1;
    const auto found = std::search(whole.mono.begin(), whole.mono.end(), loud, loud + 256);
    return found == whole.mono.end() ? -1 : long(found - whole.mono.begin()) - long(loud - part.mono.begin());
}

class SilenceTrimming : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* program : {"/usr/bin/espeak-ng", "/usr/bin/sox"})
            if (!fs::exists(program)) GTEST_SKIP() << program << " is needed";
    }
    testing::TemporaryDirectory folder_;
    SndfileSilenceTrimmer trimmer_;
};

struct SpeechCase {
    const char* name;
    Padding padding;
    RecordingForm form;
};

TEST_F(SilenceTrimming, PaddingGoesAndTheSpeechStaysWhole) {
    const std::vector<SpeechCase> cases{
        {"silence, 48 kHz CAF", Padding::silence, {48000, 1, "caf"}},
        {"white noise, 48 kHz CAF", Padding::whiteNoise, {48000, 1, "caf"}},
        {"pink noise, 16 kHz WAV", Padding::pinkNoise, {16000, 1, "wav"}},
        {"rumble, 44.1 kHz stereo WAV", Padding::rumble, {44100, 2, "wav"}},
        {"white noise, 22.05 kHz WAV", Padding::whiteNoise, {22050, 1, "wav"}},
    };
    int index = 0;
    for (const SpeechCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = "case" + std::to_string(index++);
        const Audio bare = readAudio(testing::makePaddedSpeech(folder_.path(), name + "-bare", kSentence,
                                                               Padding::none, 0, c.form));
        const fs::path recording =
            testing::makePaddedSpeech(folder_.path(), name, kSentence, c.padding, kPaddingSeconds, c.form);
        const Audio padded = readAudio(recording);

        EXPECT_EQ(trimmer_.trimSilence(recording), SilenceTrimOutcome::speechKept);
        const Audio trimmed = readAudio(recording);
        // Same form, fewer frames.
        EXPECT_EQ(trimmed.sampleRate, padded.sampleRate);
        EXPECT_EQ(trimmed.channels, padded.channels);
        EXPECT_EQ(trimmed.format, padded.format);
        EXPECT_LT(trimmed.seconds(), bare.seconds() + 2 * kLongestKeptPaddingSeconds);

        // The kept part is a piece of the recording that holds all of the
        // audible speech.
        const long offset = offsetOf(trimmed, padded);
        ASSERT_GE(offset, 0) << "the trimmed file is not a piece of the recording";
        const auto [speechStart, speechEnd] = audibleExtent(bare);
        const double keptStart = double(offset) / padded.sampleRate;
        const double keptEnd = keptStart + trimmed.seconds();
        EXPECT_LE(keptStart, kPaddingSeconds + speechStart - 0.1) << "the first sound is clipped";
        EXPECT_GE(keptEnd, kPaddingSeconds + speechEnd + 0.1) << "the last sound is clipped";
        EXPECT_GE(keptStart, kPaddingSeconds - kLongestKeptPaddingSeconds);
    }
}

TEST_F(SilenceTrimming, BareSpeechIsKeptWithItsOwnShortPauses) {
    const fs::path recording = testing::makePaddedSpeech(folder_.path(), "bare", kSentence, Padding::none, 0);
    const Audio before = readAudio(recording);
    EXPECT_EQ(trimmer_.trimSilence(recording), SilenceTrimOutcome::speechKept);
    const Audio after = readAudio(recording);
    EXPECT_GE(after.seconds(), before.seconds() - 0.05);
}

TEST_F(SilenceTrimming, ARecordingWithoutSpeechIsLeftAsItWas) {
    const std::vector<std::pair<const char*, Padding>> cases{
        {"silence", Padding::silence},
        {"white noise", Padding::whiteNoise},
        {"pink noise", Padding::pinkNoise},
        {"rumble", Padding::rumble},
    };
    for (const auto& [name, padding] : cases) {
        SCOPED_TRACE(name);
        const fs::path recording =
            testing::makePaddedSpeech(folder_.path(), std::string("quiet-") + name, "", padding, kPaddingSeconds);
        const auto size = fs::file_size(recording);
        EXPECT_EQ(trimmer_.trimSilence(recording), SilenceTrimOutcome::noSpeech);
        EXPECT_EQ(fs::file_size(recording), size);
    }
}

TEST_F(SilenceTrimming, WhatIsNotAudioIsLeftForTheBackEndToJudge) {
    const fs::path garbage = folder_.path() / "garbage.caf";
    std::ofstream(garbage, std::ios::binary) << "this is not audio at all";
    EXPECT_EQ(trimmer_.trimSilence(garbage), SilenceTrimOutcome::notAnalysed);
    EXPECT_EQ(fs::file_size(garbage), 24u);
    EXPECT_EQ(trimmer_.trimSilence(folder_.path() / "missing.caf"), SilenceTrimOutcome::notAnalysed);
}

}  // namespace
}  // namespace tavlo
