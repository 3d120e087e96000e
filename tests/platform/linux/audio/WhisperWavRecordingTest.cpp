// Recording files in the form Whisper reads: whatever the microphone's rate
// and channels, the file is 16 kHz mono 16-bit PCM WAVE, written to disk as
// the audio arrives.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "harness/TemporaryDirectory.h"
#include "platform/linux/audio/SndfileAudioFileWriter.h"

namespace tavlo {
namespace {

struct WavContents {
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t bitsPerSample = 0;
    std::vector<std::int16_t> samples;
};

template <typename T>
T little(const std::string& bytes, std::size_t at) {
    T value{};
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

// The format and the samples of a plain PCM WAVE file, read chunk by chunk.
std::optional<WavContents> readWav(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return std::nullopt;
    WavContents contents;
    bool hasFormat = false, hasData = false;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        const auto size = little<std::uint32_t>(bytes, at + 4);
        const std::size_t body = at + 8;
        if (body + size > bytes.size()) return std::nullopt;
        if (id == "fmt " && size >= 16) {
            contents.formatTag = little<std::uint16_t>(bytes, body);
            contents.channels = little<std::uint16_t>(bytes, body + 2);
            contents.sampleRate = little<std::uint32_t>(bytes, body + 4);
            contents.bitsPerSample = little<std::uint16_t>(bytes, body + 14);
            hasFormat = true;
        } else if (id == "data") {
            contents.samples.resize(size / 2);
            std::memcpy(contents.samples.data(), bytes.data() + body, contents.samples.size() * 2);
            hasData = true;
        }
        at = body + size + (size & 1);
    }
    if (!hasFormat || !hasData) return std::nullopt;
    return contents;
}

// A 440 Hz tone at half scale, in the same on every channel.
AudioBuffer tone(AudioFormat format, std::uint32_t frames, std::size_t& position) {
    AudioBuffer buffer;
    buffer.format = format;
    buffer.frameCount = frames;
    for (std::uint32_t frame = 0; frame < frames; ++frame, ++position) {
        const auto value =
            static_cast<float>(0.5 * std::sin(2 * M_PI * 440.0 * static_cast<double>(position) / format.sampleRate));
        for (std::uint32_t channel = 0; channel < format.channelCount; ++channel) buffer.samples.push_back(value);
    }
    return buffer;
}

std::size_t signChanges(const std::vector<std::int16_t>& samples) {
    std::size_t changes = 0;
    for (std::size_t i = 1; i < samples.size(); ++i)
        if ((samples[i - 1] < 0) != (samples[i] < 0)) ++changes;
    return changes;
}

TEST(WhisperWavRecording, AnyMicrophoneFormatIsStoredAs16kHzMono16BitOnDiskWhileRecording) {
    testing::TemporaryDirectory scratch;
    SndfileAudioFileWriter writer;
    constexpr double seconds = 3;
    for (const AudioFormat format : {AudioFormat{48000, 2}, AudioFormat{44100, 1}, AudioFormat{16000, 1}}) {
        SCOPED_TRACE(std::to_string(format.sampleRate) + " Hz, " + std::to_string(format.channelCount) + " channels");
        const auto path = scratch / "recording.wav";
        auto file = writer.open(path, AudioFileContainer::whisperWav, format);
        std::size_t position = 0;
        const auto total = static_cast<std::size_t>(seconds * format.sampleRate);
        while (position < total) ASSERT_FALSE(file->write(tone(format, 1024, position)).has_value());
        // The audio is already on disk, not held until the end.
        EXPECT_GT(std::filesystem::file_size(path), static_cast<std::uintmax_t>(seconds * 16000 * 2 * 0.9));
        file->close();

        const auto contents = readWav(path);
        ASSERT_TRUE(contents.has_value());
        EXPECT_EQ(contents->formatTag, 1);  // plain PCM
        EXPECT_EQ(contents->channels, 1);
        EXPECT_EQ(contents->sampleRate, 16000u);
        EXPECT_EQ(contents->bitsPerSample, 16);
        const double stored = static_cast<double>(position) / format.sampleRate;
        EXPECT_NEAR(static_cast<double>(contents->samples.size()) / 16000.0, stored, 0.01);
        // Still the same tone: 880 sign changes a second.
        EXPECT_NEAR(static_cast<double>(signChanges(contents->samples)) / stored, 880.0, 10.0);
        std::int16_t peak = 0;
        for (std::int16_t sample : contents->samples) peak = std::max<std::int16_t>(peak, std::abs(sample));
        EXPECT_NEAR(peak, 16384, 1000);
    }
}

TEST(WhisperWavRecording, AudioThatDoesNotMatchTheOpenedFormatIsRefused) {
    testing::TemporaryDirectory scratch;
    SndfileAudioFileWriter writer;
    auto file = writer.open(scratch / "recording.wav", AudioFileContainer::whisperWav, {48000, 1});
    std::size_t position = 0;
    EXPECT_TRUE(file->write(tone({48000, 2}, 256, position)).has_value());
    file->close();
    EXPECT_TRUE(file->write(tone({48000, 1}, 256, position)).has_value());
}

}  // namespace
}  // namespace tavlo
