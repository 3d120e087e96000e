#pragma once
// Trims a recording file with libsndfile and WebRTC's voice activity detector.
// Any rate and channel count is read: the detector hears a 16 kHz mono copy,
// and the cut is made in the file's own samples, so nothing is converted.
#include "platform/SilenceTrimmer.h"

namespace tavlo {

class SndfileSilenceTrimmer final : public SilenceTrimmer {
public:
    SilenceTrimOutcome trimSilence(const std::filesystem::path& recording) noexcept override;
};

}  // namespace tavlo
