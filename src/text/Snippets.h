#pragma once
// Voice snippets: a spoken phrase replaced by its stored text. Matching
// ignores case and diacritics ("munchen" finds "MÜNCHEN") and uses no locale.
#include <cstdint>
#include <vector>

#include "base/Records.h"
#include "text/IcuText.h"

namespace tavlo::TextPipeline::detail {

// Equal when they differ at most in case and diacritics.
bool equalIgnoringCaseAndDiacritics(const UnicodeString& left, const UnicodeString& right);

// Every occurrence of `target` in `text`, found ignoring case and diacritics,
// replaced by `replacement` (taken literally); a plain substring search. Once
// the result is longer than `lengthLimit` the occurrences after that point
// are left as they are.
UnicodeString replacingIgnoringCaseAndDiacritics(const UnicodeString& text, const UnicodeString& target,
                                                 const UnicodeString& replacement,
                                                 int32_t lengthLimit = INT32_MAX);

// How much longer than the utterance (in UTF-16 units) snippet expansion may
// make it. Far beyond any real use (a long template is a few thousand), it
// stops snippets whose expansions hold other snippets' phrases from growing
// the text geometrically.
inline constexpr int32_t snippetGrowthLimit = 100'000;

// False only when `target` cannot occur in `text` ignoring case and
// diacritics: a match needs the target's sequence of primary collation
// weights inside the text's. Much cheaper than the search itself.
bool mayContainIgnoringCaseAndDiacritics(const UnicodeString& text, const UnicodeString& target);

// The snippets in list order: an utterance that is exactly a phrase becomes
// that snippet's expansion and ends the expansion; otherwise every occurrence
// of each phrase is replaced, and the next snippet sees the result. Snippets
// with an empty phrase are skipped. Once the text has grown by more than
// snippetGrowthLimit, expansion stops and the text expanded so far is kept.
UnicodeString expandSnippets(const UnicodeString& text, const std::vector<VoiceSnippet>& snippets);

}  // namespace tavlo::TextPipeline::detail
