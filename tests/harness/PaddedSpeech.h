#pragma once
// Real speech for the silence-trimming tests: a sentence spoken by espeak-ng,
// alone or with seconds of silence or low noise on each side, stored in the
// form a recording takes (any rate, channel count, WAV or CAF, float or 16-bit
// samples).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "harness/RunProgram.h"

namespace tavlo::testing {

enum class Padding { none, silence, whiteNoise, pinkNoise, rumble };

struct RecordingForm {
    int sampleRate = 48000;
    int channels = 1;
    std::string extension = "caf";  // "caf" or "wav"
    bool sixteenBitIntegers = false;  // else 32-bit float samples
};

// The program's own dictation recordings: 16 kHz mono 16-bit WAV.
inline const RecordingForm kDictationRecording{16000, 1, "wav", true};

// The sox effect that makes `seconds` of the padding, or empty for none.
inline std::vector<std::string> paddingSound(Padding padding, double seconds) {
    const std::string length = std::to_string(seconds);
    switch (padding) {
    case Padding::none: return {};
    case Padding::silence: return {"trim", "0", length};
    // Low steady noise: a quiet room, a laptop fan, a distant road.
    case Padding::whiteNoise: return {"synth", length, "whitenoise", "vol", "0.01"};
    case Padding::pinkNoise: return {"synth", length, "pinknoise", "vol", "0.01"};
    case Padding::rumble: return {"synth", length, "brownnoise", "vol", "0.03"};
    }
    return {};
}

// Runs sox and reports a failure to the test; true when it worked.
inline bool runSox(const std::vector<std::string>& args) {
    const ProgramResult result = runProgram("/usr/bin/sox", args);
    if (result.status != 0) ADD_FAILURE() << "sox failed: " << result.err;
    return result.status == 0;
}

// Writes the sentence (or, with an empty sentence, only the padding) to
// `folder/name.EXTENSION` and returns that path.
inline std::filesystem::path makePaddedSpeech(const std::filesystem::path& folder, const std::string& name,
                                              const std::string& sentence, Padding padding, double seconds,
                                              const RecordingForm& form = {}) {
    const std::string rate = std::to_string(form.sampleRate);
    const std::string channels = std::to_string(form.channels);
    const std::vector<std::string> shape{"-r", rate, "-c", channels, "-e", "floating-point", "-b", "32"};
    std::vector<std::string> parts;
    if (!sentence.empty()) {
        const std::filesystem::path spoken = folder / (name + "-espeak.wav");
        const ProgramResult speech = runProgram("/usr/bin/espeak-ng", {"-w", spoken.string(), sentence});
        if (speech.status != 0) ADD_FAILURE() << "espeak-ng failed: " << speech.err;
        const std::filesystem::path shaped = folder / (name + "-speech.wav");
        std::vector<std::string> args{spoken.string()};
        args.insert(args.end(), shape.begin(), shape.end());
        args.push_back(shaped.string());
        runSox(args);
        parts.push_back(shaped.string());
    }
    if (padding != Padding::none) {
        // Separate runs, so the noise before and after is not the same noise.
        for (const char* side : {"before", "after"}) {
            const std::filesystem::path pad = folder / (name + "-" + side + ".wav");
            std::vector<std::string> args{"-n"};
            args.insert(args.end(), shape.begin(), shape.end());
            args.push_back(pad.string());
            for (const std::string& effect : paddingSound(padding, seconds)) args.push_back(effect);
            runSox(args);
            if (std::string(side) == "before") parts.insert(parts.begin(), pad.string());
            else parts.push_back(pad.string());
        }
    }
    const std::filesystem::path out = folder / (name + "." + form.extension);
    std::vector<std::string> args = parts;
    if (form.sixteenBitIntegers) args.insert(args.end(), {"-e", "signed-integer", "-b", "16", out.string()});
    else args.insert(args.end(), {"-e", "floating-point", "-b", "32", out.string()});
    runSox(args);
    return out;
}

}  // namespace tavlo::testing
