#include "platform/linux/audio/SndfileAudioFileWriter.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/linux/audio/MonoResampler.h"

namespace tavlo {
namespace {

constexpr const char* errorDomain = "sndfile";

class SndfileWritableAudioFile final : public WritableAudioFile {
public:
    // With a resampler the audio is stored as its 16 kHz mono 16-bit form.
    SndfileWritableAudioFile(SNDFILE* file, int fd, AudioFormat format, std::unique_ptr<MonoResampler> resampler)
        : file_(file), fd_(fd), format_(format), resampler_(std::move(resampler)) {}
    ~SndfileWritableAudioFile() override { close(); }

    std::optional<PlatformError> write(const AudioBuffer& buffer) override {
        std::lock_guard lock(mutex_);
        if (!file_) return PlatformError(errorDomain, SF_ERR_UNSUPPORTED_ENCODING, "The recording file is closed.");
        if (buffer.format.channelCount != format_.channelCount ||
            buffer.samples.size() < static_cast<std::size_t>(buffer.frameCount) * format_.channelCount)
            return PlatformError(errorDomain, SF_ERR_UNSUPPORTED_ENCODING,
                                 "The audio does not match the recording file's format.");
        if (!resampler_) {
            const sf_count_t written = sf_writef_float(file_, buffer.samples.data(), buffer.frameCount);
            if (written != static_cast<sf_count_t>(buffer.frameCount))
                return PlatformError(errorDomain, sf_error(file_), sf_strerror(file_));
            return std::nullopt;
        }
        // Only this buffer's worth is held: the recording grows on disk.
        converted_.clear();
        resampler_->convert(buffer, converted_);
        return writeConvertedLocked();
    }

    void close() override {
        std::lock_guard lock(mutex_);
        if (!file_) return;
        if (resampler_) {
            // What the converter still holds is the end of the recording.
            converted_.clear();
            resampler_->flush(converted_);
            writeConvertedLocked();
        }
        // Closing writes the final header sizes.
        sf_close(file_);
        file_ = nullptr;
        ::close(fd_);
        converted_ = {};
    }

private:
    std::optional<PlatformError> writeConvertedLocked() {
        if (converted_.empty()) return std::nullopt;
        const auto count = static_cast<sf_count_t>(converted_.size());
        if (sf_write_short(file_, converted_.data(), count) != count)
            return PlatformError(errorDomain, sf_error(file_), sf_strerror(file_));
        return std::nullopt;
    }

    // Writes come from the capture thread, closing from the main thread or
    // from whichever thread lets go of the file last.
    std::mutex mutex_;
    SNDFILE* file_;
    const int fd_;
    const AudioFormat format_;
    const std::unique_ptr<MonoResampler> resampler_;
    std::vector<std::int16_t> converted_;
};

SF_INFO fileInfo(AudioFileContainer container, const AudioFormat& format) {
    SF_INFO info{};
    switch (container) {
    case AudioFileContainer::whisperWav:
        info.samplerate = static_cast<int>(MonoResampler::targetRate);
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        break;
    case AudioFileContainer::caf:
    case AudioFileContainer::wav:
        info.samplerate = static_cast<int>(format.sampleRate);
        info.channels = static_cast<int>(format.channelCount);
        info.format = (container == AudioFileContainer::caf ? SF_FORMAT_CAF : SF_FORMAT_WAV) | SF_FORMAT_FLOAT;
        break;
    }
    return info;
}

}  // namespace

std::unique_ptr<WritableAudioFile> SndfileAudioFileWriter::open(const std::filesystem::path& path,
                                                                AudioFileContainer container,
                                                                const AudioFormat& format) {
    SF_INFO info = fileInfo(container, format);
    if (format.sampleRate <= 0 || format.channelCount == 0 || info.samplerate <= 0 || info.channels <= 0 ||
        !sf_format_check(&info))
        throw PlatformError(errorDomain, SF_ERR_UNSUPPORTED_ENCODING,
                            "The recording format cannot be stored in this kind of file.");

    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        throw PlatformError("posix", error, std::strerror(error));
    }
    // The descriptor stays ours, so it is closed exactly once whatever happens.
    SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (!file) {
        const PlatformError error(errorDomain, sf_error(nullptr), sf_strerror(nullptr));
        ::close(fd);
        throw error;
    }
    std::unique_ptr<MonoResampler> resampler;
    if (container == AudioFileContainer::whisperWav) resampler = std::make_unique<MonoResampler>();
    return std::make_unique<SndfileWritableAudioFile>(file, fd, format, std::move(resampler));
}

}  // namespace tavlo
