#include "platform/linux/audio/SteadyTranscript.h"

#include <algorithm>
#include <sstream>

namespace tavlo {
namespace {

std::vector<std::string> wordsOf(const std::string& text) {
    std::istringstream stream(text);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(std::move(word));
    return words;
}

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        if (!text.empty()) text += ' ';
        text += word;
    }
    return text;
}

bool startsWith(const std::vector<std::string>& words, const std::vector<std::string>& start) {
    return words.size() >= start.size() && std::equal(start.begin(), start.end(), words.begin());
}

}  // namespace

std::optional<std::string> SteadyTranscript::partial(const std::string& hypothesis) {
    std::vector<std::string> words = wordsOf(hypothesis);
    const auto [agreedEnd, ignored] =
        std::mismatch(words.begin(), words.end(), previous_.begin(), previous_.end());
    std::vector<std::string> agreed(words.begin(), agreedEnd);
    previous_ = std::move(words);
    // Only growth is shown; a change to words already shown waits for the end.
    if (agreed.size() <= shown_.size() || !startsWith(agreed, shown_)) return std::nullopt;
    shown_ = std::move(agreed);
    return joined(shown_);
}

std::string SteadyTranscript::settle(const std::string& hypothesis) {
    // The words shown stay; what the decoder heard after them is added. (When
    // it agrees with them, that is simply its whole text.)
    const std::vector<std::string> words = wordsOf(hypothesis);
    if (words.size() > shown_.size())
        shown_.insert(shown_.end(), words.begin() + static_cast<std::ptrdiff_t>(shown_.size()), words.end());
    previous_ = shown_;
    return joined(shown_);
}

}  // namespace tavlo
