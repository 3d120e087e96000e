#pragma once
// The voice commands of a dictation: cancel, press enter, choose a style, and
// spoken punctuation and symbols. Each function is pure.
#include <array>
#include <initializer_list>
#include <optional>

#include "base/Enums.h"
#include "text/IcuText.h"

namespace tavlo::TextPipeline::detail {

// The whole utterance is "cancel", "cancel that", "discard that" or "stop
// listening", ignoring case and surrounding whitespace and punctuation.
bool isCancelCommand(const UnicodeString& text);

// When the utterance ends with "press enter", "hit enter" or "send it", cuts
// the last occurrence of that command off `text` (trimming what is left) and
// returns true.
bool takePressEnterCommand(UnicodeString& text);

// When the utterance opens with a style command ("make this casual", "turn
// this into a list"...), cuts it off `text` and returns the style it names.
std::optional<TransformStyle> styleFromSpokenCommand(UnicodeString& text);

// One spoken symbol: the phrase and what replaces it.
struct SpokenSymbol {
    const char16_t* phrase;  // lower case
    const char16_t* replacement;
    bool allowedFirst;  // replaced even when nothing precedes it in the text
    std::initializer_list<const char16_t*> blockingWords;  // kept when the next word is one of these
};

// Applied in this order; an earlier entry may consume a later one's words
// ("quote" takes the last word of "single quote").
const std::array<SpokenSymbol, 21>& spokenSymbols();

// Spoken punctuation and symbols ("comma", "new line", "open quote"...) become
// the characters they name; the spaces around them are left for the
// punctuation spacing stage.
UnicodeString replaceDictationPhrases(const UnicodeString& text);

}  // namespace tavlo::TextPipeline::detail
