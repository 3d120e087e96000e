#pragma once
// Finding words in a delivered text that look like proper names or product
// terms ("Kubernetes", "GPT-4", "iOS"), so they can become recognition hints.
#include <string>
#include <string_view>
#include <vector>

namespace tavlo {

// The words of the text, split at every character that is not a letter, a digit
// or "-", that are longer than two characters and hold an upper-case letter; in
// text order, repeats included. Characters are grapheme clusters, so an accent
// written as a separate combining mark stays part of its word.
std::vector<std::string> likelyTerms(std::string_view text);

}  // namespace tavlo
