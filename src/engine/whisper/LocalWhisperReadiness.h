#pragma once
// Why local Whisper cannot run for a language, in words that tell the user
// what to do: install whisper.cpp or ffmpeg, or download a model (a
// multilingual one when only English models are there for another language).
// Dictation, the file transcription in Home and `tavlo transcribe` all show
// these same words.
#include <optional>
#include <string>
#include <string_view>

#include "engine/DictationEngineError.h"
#include "engine/whisper/WhisperInstallation.h"

namespace tavlo {

enum class LocalWhisperGap {
    noWhisperProgram,   // neither whisper-server nor whisper-cli
    noFfmpeg,           // every transcription converts its audio first
    noModel,            // no model file at all
    onlyEnglishModels,  // English-only models, and the language is another
};

// What is missing, checked in the order the user has to set things up; absent
// when a back end can be chosen for the language.
std::optional<LocalWhisperGap> localWhisperGap(const WhisperSearchLocations& locations,
                                               std::string_view languageIdentifier);

// The short message for a gap; names the model to download for the language
// and, for a language without English-only models, the language itself.
std::string localWhisperGapMessage(LocalWhisperGap gap, std::string_view languageIdentifier);

// The engine's failure for a gap, carrying its message.
DictationEngineError localWhisperUnavailable(LocalWhisperGap gap, std::string_view languageIdentifier);

// The language's name in English ("German" for "de_DE"); the identifier
// itself when it names no language that is known.
std::string englishLanguageName(std::string_view languageIdentifier);

}  // namespace tavlo
