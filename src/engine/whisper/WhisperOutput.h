#pragma once
// Turning what whisper.cpp printed into the transcript that is delivered.
#include <string>
#include <string_view>

namespace tavlo {

// Drops Whisper's silence markers ("[BLANK_AUDIO]", "(blank audio)",
// "<|nospeech|>") and other bracketed sound descriptions ("[Music]") where
// they stand alone, drops lines that hold only such descriptions (also in
// parentheses, asterisks or music signs: "(upbeat music)", "*sigh*"), joins
// the remaining lines with one space, collapses runs of white space and trims
// the ends. Output of nothing but marks, or only a known invention on silence
// (a lone "you", "Thanks for watching!"), becomes the empty text.
std::string normalizeWhisperOutput(std::string_view output);

// What whisper-cli said about its failure: the lines that report an error
// (those beginning with "error", in any case), else its last line, bounded
// in length. Usage texts and progress lines around them are left out.
std::string whisperCliErrorMessage(std::string_view standardError);

// The bytes as text when they are well-formed UTF-8, else the empty text.
std::string utf8TextOrEmpty(std::string bytes);

}  // namespace tavlo
