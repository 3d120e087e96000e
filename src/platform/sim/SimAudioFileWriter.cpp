#include "platform/sim/SimAudioFileWriter.h"

#include <utility>

namespace tavlo {

std::size_t SimAudioFile::buffersWritten() const {
    std::lock_guard lock(mutex_);
    return buffers_;
}

std::size_t SimAudioFile::framesWritten() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

bool SimAudioFile::closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

void SimAudioFile::failWrites(PlatformError error, std::size_t successfulWrites) {
    std::lock_guard lock(mutex_);
    writeError_ = std::move(error);
    successfulWrites_ = successfulWrites;
}

std::optional<PlatformError> SimAudioFile::write(const AudioBuffer& buffer) {
    std::lock_guard lock(mutex_);
    if (closed_) return PlatformError("sim", 9, "The file is closed.");
    if (writeError_ && buffers_ >= successfulWrites_) return writeError_;
    ++buffers_;
    frames_ += buffer.frameCount;
    return std::nullopt;
}

void SimAudioFile::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
}

class SimWritableAudioFile final : public WritableAudioFile {
public:
    explicit SimWritableAudioFile(std::shared_ptr<SimAudioFile> file) : file_(std::move(file)) {}
    ~SimWritableAudioFile() override { file_->close(); }
    std::optional<PlatformError> write(const AudioBuffer& buffer) override { return file_->write(buffer); }
    void close() override { file_->close(); }

private:
    std::shared_ptr<SimAudioFile> file_;
};

std::unique_ptr<WritableAudioFile> SimAudioFileWriter::open(const std::filesystem::path& path,
                                                            AudioFileContainer container,
                                                            const AudioFormat& format) {
    std::lock_guard lock(mutex_);
    if (openError_) throw *openError_;
    auto file = std::make_shared<SimAudioFile>(path, container, format);
    if (writeError_) file->failWrites(*writeError_, successfulWrites_);
    files_.push_back(file);
    return std::make_unique<SimWritableAudioFile>(std::move(file));
}

void SimAudioFileWriter::setOpenError(std::optional<PlatformError> error) {
    std::lock_guard lock(mutex_);
    openError_ = std::move(error);
}

void SimAudioFileWriter::setWriteError(std::optional<PlatformError> error, std::size_t successfulWrites) {
    std::lock_guard lock(mutex_);
    writeError_ = std::move(error);
    successfulWrites_ = successfulWrites;
}

std::vector<std::shared_ptr<SimAudioFile>> SimAudioFileWriter::files() const {
    std::lock_guard lock(mutex_);
    return files_;
}

std::shared_ptr<SimAudioFile> SimAudioFileWriter::latestFile() const {
    std::lock_guard lock(mutex_);
    return files_.empty() ? nullptr : files_.back();
}

}  // namespace tavlo
