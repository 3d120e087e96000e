#pragma once
// Recording files written with libsndfile: Core Audio Format or WAVE holding
// the 32-bit float samples exactly as the microphone delivered them, or WAVE
// holding them resampled by libsamplerate to 16 kHz mono 16-bit PCM.
#include "platform/AudioFileWriter.h"

namespace tavlo {

class SndfileAudioFileWriter final : public AudioFileWriter {
public:
    // The file is created for the user alone; a symbolic link in its place is
    // refused rather than followed.
    std::unique_ptr<WritableAudioFile> open(const std::filesystem::path& path, AudioFileContainer container,
                                            const AudioFormat& format) override;
};

}  // namespace tavlo
