#pragma once
// Turns one raw transcript into the text that is delivered: whole-utterance
// commands, snippet expansion, clean-up of spontaneous speech and the chosen
// style, always in the same fixed order. Pure and stateless; safe to call from
// any thread.
#include <string>
#include <string_view>
#include <vector>

#include "settings/Enums.h"
#include "settings/Records.h"

namespace tavlo::TextPipeline {

struct ProcessOptions {
    // Spoken self-corrections ("Tuesday, scratch that, Wednesday") keep only
    // the corrected part. Text that was typed, not spoken, holds such cue
    // phrases as content and turns this off.
    bool applySelfCorrections = true;
};

// Never fails: empty or unusable input gives empty text. Text is UTF-8; an
// invalid sequence is read as U+FFFD, so the result is always valid UTF-8.
ProcessedText process(std::string_view text, TransformStyle style,
                      const std::vector<VoiceSnippet>& snippets, ProcessOptions options = {});

}  // namespace tavlo::TextPipeline
