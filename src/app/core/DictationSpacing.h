#pragma once
// The space between two dictations pasted one after the other into the same
// field: "roadmap." followed by "Thanks!" must not become "roadmap.Thanks!".
// Only the words on either side decide here; whether the caret still sits
// after the earlier dictation is the controller's question.
#include <optional>
#include <string>
#include <string_view>

#include "platform/Accessibility.h"

namespace tavlo {

// True when `before` ends with a word or with punctuation that closes a
// sentence or a clause, and `next` starts with a word. Scripts written
// without spaces between words (Chinese, Japanese, Thai, ...) never get one.
bool needsSpaceBetween(std::string_view before, std::string_view next);

// The part of `value` before the caret (the start of the selection, in
// UTF-16 units as accessibility counts); absent when the range does not fit.
std::optional<std::string> textBeforeCaret(std::string_view value, const TextRange& selection);

}  // namespace tavlo
