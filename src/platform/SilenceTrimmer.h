#pragma once
// Cuts the silence before and after the speech of a finished dictation
// recording. Whisper spends time on silence and invents words from it ("Thank
// you."), so the recording handed to it (or uploaded) holds only the speech
// with a little margin, and a recording without speech is never sent at all.
#include <filesystem>

namespace tavlo {

enum class SilenceTrimOutcome {
    speechKept,    // the file now holds the speech with its margins (perhaps all of it)
    noSpeech,      // nothing in the recording is speech; the file is left as it was
    notAnalysed,   // the file could not be read or rewritten; left for the back end to judge
};

class SilenceTrimmer {
public:
    virtual ~SilenceTrimmer() = default;
    // Rewrites the closed recording in place, keeping its container, rate and
    // channels. Called on the main thread: a few milliseconds per second of
    // 48 kHz audio (most of it resampling for the detector), less at 16 kHz.
    virtual SilenceTrimOutcome trimSilence(const std::filesystem::path& recording) noexcept = 0;
};

}  // namespace tavlo
