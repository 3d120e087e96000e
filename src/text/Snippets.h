#pragma once
// Voice snippets: a spoken phrase replaced by its stored text. Matching
// ignores case and diacritics ("munchen" finds "MÜNCHEN") and uses no locale.
#include <vector>

#include "settings/Records.h"
#include "text/IcuText.h"

namespace tavlo::TextPipeline::detail {

// Equal when they differ at most in case and diacritics.
bool equalIgnoringCaseAndDiacritics(const UnicodeString& left, const UnicodeString& right);

// Every occurrence of `target` in `text`, found ignoring case and diacritics,
// replaced by `replacement` (taken literally); a plain substring search.
UnicodeString replacingIgnoringCaseAndDiacritics(const UnicodeString& text, const UnicodeString& target,
                                                 const UnicodeString& replacement);

// False only when `target` cannot occur in `text` ignoring case and
// diacritics: a match needs the target's sequence of primary collation
// weights inside the text's. Much cheaper than the search itself.
bool mayContainIgnoringCaseAndDiacritics(const UnicodeString& text, const UnicodeString& target);

// The snippets in list order: an utterance that is exactly a phrase becomes
// that snippet's expansion and ends the expansion; otherwise every occurrence
// of each phrase is replaced, and the next snippet sees the result. Snippets
// with an empty phrase are skipped.
UnicodeString expandSnippets(const UnicodeString& text, const std::vector<VoiceSnippet>& snippets);

}  // namespace tavlo::TextPipeline::detail
