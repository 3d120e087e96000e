#pragma once
// The last stage of the pipeline: sentence capitals, a closing mark, a few
// word swaps for tone, or a bulleted list, by TransformStyle.
#include "base/Enums.h"
#include "text/IcuText.h"

namespace tavlo::TextPipeline::detail {

// Rewrites the cleaned text in `style`.
UnicodeString applyStyle(const UnicodeString& text, TransformStyle style);

// Upper-cases the first letter of the text and of every sentence (after
// ". ! ?" or a line feed, with only white space between). Nothing else
// changes case.
UnicodeString capitalizeSentences(const UnicodeString& text);

// Trims the text and closes it with "?" or "." unless it already ends with a
// closing mark or bracket, or spans several lines. Trailing commas give way to
// the closing mark.
UnicodeString finishSentence(const UnicodeString& text);

// Whether the first word is a question word ("what", "how", "is", "can"...).
bool looksLikeQuestion(const UnicodeString& text);

// "buy eggs and then milk then bread" becomes "- Buy eggs\n- Milk\n- Bread":
// one item per sentence, clause or line.
UnicodeString makeList(const UnicodeString& text);

}  // namespace tavlo::TextPipeline::detail
