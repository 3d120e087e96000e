#pragma once
// Writing microphone audio to a file for the transcription after stop.
#include <filesystem>
#include <memory>
#include <optional>

#include "platform/AudioBuffer.h"
#include "platform/PlatformError.h"

namespace tavlo {

enum class AudioFileContainer {
    caf,  // the samples as the microphone delivers them
    wav,  // likewise
    // WAVE holding 16 kHz mono 16-bit PCM, converted as the audio arrives:
    // what Whisper reads without a conversion step, at a fraction of the size.
    whisperWav,
};

// An audio file open for writing. `write` is called on the capture thread,
// `close` on the main thread once writing has stopped; destruction closes too.
class WritableAudioFile {
public:
    virtual ~WritableAudioFile() = default;
    // The error when the buffer could not be written.
    virtual std::optional<PlatformError> write(const AudioBuffer& buffer) = 0;
    virtual void close() = 0;
};

class AudioFileWriter {
public:
    virtual ~AudioFileWriter() = default;
    // Creates (or replaces) the file for audio that arrives in `format`,
    // stored as the container says. Throws PlatformError.
    virtual std::unique_ptr<WritableAudioFile> open(const std::filesystem::path& path,
                                                    AudioFileContainer container,
                                                    const AudioFormat& format) = 0;
};

}  // namespace tavlo
