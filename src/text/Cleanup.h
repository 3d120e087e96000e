#pragma once
// Clean-up of spontaneous speech: whitespace, self-corrections, recogniser
// markers, "et cetera", punctuation spacing, conversational lead-ins, fillers,
// restarted clauses and stutters. Each function is pure.
#include <optional>
#include <vector>

#include "text/IcuText.h"

namespace tavlo::TextPipeline::detail {

// No-break spaces become spaces, runs of spaces and tabs one space, three or
// more line feeds two; then whitespace is trimmed.
UnicodeString normalizeWhitespace(const UnicodeString& text);

// Every run of two or more whitespace characters becomes one space, except
// that a run holding line feeds keeps exactly its line feeds (the spaces and
// tabs around a spoken "new line" go, the line break stays).
UnicodeString collapseWhitespaceRuns(const UnicodeString& text);

// What follows the last match of `pattern`, trimmed of whitespace and
// punctuation; nothing when there is no match, when the match ends the text,
// when the remainder is shorter than two characters, or (if `requirePriorText`)
// when nothing but whitespace and punctuation precedes the match.
std::optional<UnicodeString> textAfterLastMatch(const Regex& pattern, const UnicodeString& text,
                                                bool requirePriorText);

// "Tuesday, scratch that, Wednesday" keeps only what follows the last cue.
UnicodeString applySelfCorrections(const UnicodeString& text);

// Whisper's blank-audio markers and its no-speech token become a space.
UnicodeString removeRecognizerMarkers(const UnicodeString& text);

// "et cetera" and "etcetera" become "etc.".
UnicodeString replaceSpokenEtCetera(const UnicodeString& text);

// No space before , . ; : ! ? and one after them, "etc ." joined, whitespace
// runs collapsed, ends trimmed.
UnicodeString normalizePunctuationSpacing(const UnicodeString& text);

// Drops an opening "okay", "so", "well"... and an opening "also"/"and".
UnicodeString removeConversationalLeadIns(const UnicodeString& text);

// Drops hesitation sounds and hedges ("um", "kind of", "you know"...).
UnicodeString removeFillers(const UnicodeString& text);

// A word lower-cased and stripped of everything but letters, marks and digits
// at both ends, in composed form so equal-looking words compare equal.
UnicodeString normalizedWord(const UnicodeString& word);

// Share of words of `left` found in `right` (as a multiset of normalised
// words), over the longer list's length; 0 when either is empty.
double revisionSimilarity(const std::vector<UnicodeString>& left, const std::vector<UnicodeString>& right);

// "we should meet on Monday we should meet on Tuesday instead" keeps only the
// restart; texts of fewer than eight words are left alone.
UnicodeString collapseRepeatedClauseRevisions(const UnicodeString& text);

// "the the report" becomes "the report": a word equal to the one before it
// (ignoring case and punctuation) is dropped. Words are rejoined with single
// spaces.
UnicodeString removeRepeatedWords(const UnicodeString& text);

// The words of a text split at U+0020 alone, empty pieces dropped.
std::vector<UnicodeString> spaceSeparatedWords(const UnicodeString& text);

}  // namespace tavlo::TextPipeline::detail
