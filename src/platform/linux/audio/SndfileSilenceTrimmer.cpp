#include "platform/linux/audio/SndfileSilenceTrimmer.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/linux/audio/MonoResampler.h"
#include "platform/linux/audio/SpeechSpan.h"
#include "platform/linux/audio/WebRtcVoiceActivity.h"

namespace tavlo {
namespace {

constexpr sf_count_t chunkFrames = 4096;
constexpr int detectorRate = static_cast<int>(MonoResampler::targetRate);

// A quarter of a second on each side keeps soft first and last sounds.
const SpeechSpanRules spanRules{.shortestSpeechFrames = 5, .marginFrames = 25};

struct SoundFile {
    SNDFILE* handle = nullptr;
    SF_INFO info{};

    explicit SoundFile(const std::filesystem::path& path) { handle = sf_open(path.c_str(), SFM_READ, &info); }
    // A new file only its owner may read, like the recording it replaces.
    SoundFile(const std::filesystem::path& path, const SF_INFO& format) : info(format) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) return;
        handle = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
        if (!handle) ::close(fd);
    }
    ~SoundFile() {
        if (handle) sf_close(handle);
    }
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;
};

// The whole recording as the detector hears it: one channel at 16 kHz.
std::optional<std::vector<std::int16_t>> detectorSamples(SoundFile& file) {
    MonoResampler resampler;
    std::vector<std::int16_t> out;
    AudioBuffer buffer;
    buffer.format = {static_cast<double>(file.info.samplerate), static_cast<std::uint32_t>(file.info.channels)};
    buffer.samples.resize(static_cast<std::size_t>(chunkFrames * file.info.channels));
    while (true) {
        const sf_count_t read = sf_readf_float(file.handle, buffer.samples.data(), chunkFrames);
        if (read < 0) return std::nullopt;
        if (read == 0) break;
        buffer.frameCount = static_cast<std::uint32_t>(read);
        resampler.convert(buffer, out);
    }
    if (sf_error(file.handle) != SF_ERR_NO_ERROR) return std::nullopt;
    resampler.flush(out);
    return out;
}

// Copies frames [first, end) of `from` into a new file beside it, then puts
// that file in its place, so a failure leaves the recording whole.
bool keepOnly(SoundFile& from, const std::filesystem::path& path, sf_count_t first, sf_count_t end) {
    const std::filesystem::path trimmed = path.string() + ".trimmed";
    {
        SoundFile to(trimmed, from.info);
        if (!to.handle || sf_seek(from.handle, first, SEEK_SET) != first) return false;
        std::vector<float> samples(static_cast<std::size_t>(chunkFrames * from.info.channels));
        for (sf_count_t at = first; at < end;) {
            const sf_count_t want = std::min(chunkFrames, end - at);
            const sf_count_t read = sf_readf_float(from.handle, samples.data(), want);
            if (read <= 0 || sf_writef_float(to.handle, samples.data(), read) != read) {
                std::error_code ignored;
                std::filesystem::remove(trimmed, ignored);
                return false;
            }
            at += read;
        }
    }
    std::error_code error;
    std::filesystem::rename(trimmed, path, error);
    if (error) std::filesystem::remove(trimmed, error);
    return !error;
}

}  // namespace

SilenceTrimOutcome SndfileSilenceTrimmer::trimSilence(const std::filesystem::path& recording) noexcept {
    try {
        SoundFile file(recording);
        if (!file.handle || file.info.channels <= 0 || file.info.samplerate <= 0) return SilenceTrimOutcome::notAnalysed;
        const std::optional<std::vector<std::int16_t>> samples = detectorSamples(file);
        if (!samples) return SilenceTrimOutcome::notAnalysed;

        const std::vector<bool> voiced = WebRtcVoiceActivity::voicedFrames(*samples, detectorRate);
        const std::optional<FrameRange> speech = speechSpan(voiced, spanRules);
        if (!speech) return SilenceTrimOutcome::noSpeech;

        // From detector frames to the file's own frames; the last frame kept
        // reaches the end of the file when the speech runs to the end.
        const auto fileFrame = [&](std::size_t detectorFrame) {
            return std::min(file.info.frames,
                            static_cast<sf_count_t>(std::llround(double(detectorFrame) * file.info.samplerate /
                                                                 WebRtcVoiceActivity::framesPerSecond)));
        };
        const sf_count_t first = fileFrame(speech->first);
        const sf_count_t end = speech->end == voiced.size() ? file.info.frames : fileFrame(speech->end);
        if (first == 0 && end == file.info.frames) return SilenceTrimOutcome::speechKept;
        return keepOnly(file, recording, first, end) ? SilenceTrimOutcome::speechKept
                                                     : SilenceTrimOutcome::notAnalysed;
    } catch (...) {
        // Out of memory for a very long recording: transcribe it as it is.
        return SilenceTrimOutcome::notAnalysed;
    }
}

}  // namespace tavlo
