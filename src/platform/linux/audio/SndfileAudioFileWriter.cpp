#include "platform/linux/audio/SndfileAudioFileWriter.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace tavlo {
namespace {

constexpr const char* errorDomain = "sndfile";

class SndfileWritableAudioFile final : public WritableAudioFile {
public:
    SndfileWritableAudioFile(SNDFILE* file, int fd, AudioFormat format) : file_(file), fd_(fd), format_(format) {}
    ~SndfileWritableAudioFile() override { close(); }

    std::optional<PlatformError> write(const AudioBuffer& buffer) override {
        std::lock_guard lock(mutex_);
        if (!file_) return PlatformError(errorDomain, SF_ERR_UNSUPPORTED_ENCODING, "The recording file is closed.");
        if (buffer.format.channelCount != format_.channelCount ||
            buffer.samples.size() < static_cast<std::size_t>(buffer.frameCount) * format_.channelCount)
            return PlatformError(errorDomain, SF_ERR_UNSUPPORTED_ENCODING,
                                 "The audio does not match the recording file's format.");
        const sf_count_t written = sf_writef_float(file_, buffer.samples.data(), buffer.frameCount);
        if (written != static_cast<sf_count_t>(buffer.frameCount))
            return PlatformError(errorDomain, sf_error(file_), sf_strerror(file_));
        return std::nullopt;
    }

    void close() override {
        std::lock_guard lock(mutex_);
        if (!file_) return;
        // Closing writes the final header sizes.
        sf_close(file_);
        file_ = nullptr;
        ::close(fd_);
    }

private:
    // Writes come from the capture thread, closing from the main thread or
    // from whichever thread lets go of the file last.
    std::mutex mutex_;
    SNDFILE* file_;
    const int fd_;
    const AudioFormat format_;
};

int containerFormat(AudioFileContainer container) {
    return (container == AudioFileContainer::caf ? SF_FORMAT_CAF : SF_FORMAT_WAV) | SF_FORMAT_FLOAT;
}

}  // namespace

std::unique_ptr<WritableAudioFile> SndfileAudioFileWriter::open(const std::filesystem::path& path,
                                                                AudioFileContainer container,
                                                                const AudioFormat& format) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(format.sampleRate);
    info.channels = static_cast<int>(format.channelCount);
    info.format = containerFormat(container);
    if (info.samplerate <= 0 || info.channels <= 0 || !sf_format_check(&info))
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
    return std::make_unique<SndfileWritableAudioFile>(file, fd, format);
}

}  // namespace tavlo
