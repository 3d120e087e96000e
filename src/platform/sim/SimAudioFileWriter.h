#pragma once
// Recording files kept in memory: what was opened, how much was written, and
// whether it was closed. A test can make opening or writing fail.
#include <cstddef>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/AudioFileWriter.h"

namespace tavlo {

class SimAudioFile {
public:
    SimAudioFile(std::filesystem::path path, AudioFileContainer container, AudioFormat format)
        : path_(std::move(path)), container_(container), format_(format) {}

    const std::filesystem::path& path() const { return path_; }
    AudioFileContainer container() const { return container_; }
    AudioFormat format() const { return format_; }
    std::size_t buffersWritten() const;
    std::size_t framesWritten() const;
    bool closed() const;

    // Writes fail with `error` once `successfulWrites` buffers were written.
    void failWrites(PlatformError error, std::size_t successfulWrites = 0);

private:
    friend class SimWritableAudioFile;
    std::optional<PlatformError> write(const AudioBuffer& buffer);
    void close();

    const std::filesystem::path path_;
    const AudioFileContainer container_;
    const AudioFormat format_;
    mutable std::mutex mutex_;
    std::size_t buffers_ = 0;
    std::size_t frames_ = 0;
    bool closed_ = false;
    std::optional<PlatformError> writeError_;
    std::size_t successfulWrites_ = 0;
};

class SimAudioFileWriter final : public AudioFileWriter {
public:
    std::unique_ptr<WritableAudioFile> open(const std::filesystem::path& path,
                                            AudioFileContainer container,
                                            const AudioFormat& format) override;

    // Makes the next opens fail with this error.
    void setOpenError(std::optional<PlatformError> error);
    // Files opened from now on fail their writes like SimAudioFile::failWrites.
    void setWriteError(std::optional<PlatformError> error, std::size_t successfulWrites = 0);

    std::vector<std::shared_ptr<SimAudioFile>> files() const;
    std::shared_ptr<SimAudioFile> latestFile() const;

private:
    mutable std::mutex mutex_;
    std::optional<PlatformError> openError_;
    std::optional<PlatformError> writeError_;
    std::size_t successfulWrites_ = 0;
    std::vector<std::shared_ptr<SimAudioFile>> files_;
};

}  // namespace tavlo
