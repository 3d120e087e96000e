#pragma once
// Turns one raw transcript into the text that is delivered: whole-utterance
// commands, snippet expansion, clean-up of spontaneous speech and the chosen
// style, always in the same fixed order. Pure and stateless; safe to call from
// any thread.
#include <string>
#include <string_view>
#include <vector>

#include "base/Enums.h"
#include "base/Records.h"

namespace tavlo::TextPipeline {

// Whether cue phrases ("scratch that", "I mean") revise the text. In a
// dictation they are the speaker correcting themselves, so only what follows
// the last cue is kept; in a transcribed recording or a selected text they are
// content, and keeping only the end would throw the rest away.
enum class SelfCorrections { apply, keepAsSpoken };

// Never fails: empty or unusable input gives empty text. Text is UTF-8; an
// invalid sequence is read as U+FFFD, so the result is always valid UTF-8.
ProcessedText process(std::string_view text, TransformStyle style,
                      const std::vector<VoiceSnippet>& snippets,
                      SelfCorrections selfCorrections = SelfCorrections::apply);

}  // namespace tavlo::TextPipeline
