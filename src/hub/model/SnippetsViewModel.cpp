#include "hub/model/SnippetsViewModel.h"

#include "settings/TextTrimming.h"

namespace tavlo {

std::string SnippetsViewModel::listText(const std::vector<VoiceSnippet>& snippets) {
    std::string text;
    for (const VoiceSnippet& snippet : snippets) {
        if (!text.empty()) text += "\n\n";
        text += "\"" + snippet.phrase + "\" -> " + snippet.expansion;
    }
    return text;
}

std::string SnippetsViewModel::text() const { return listText(context_.store().snippets()); }

bool SnippetsViewModel::addSnippet(std::string_view phraseField, std::string_view expansionField) {
    std::string phrase = trimmedWhitespaceAndNewlines(phraseField);
    std::string expansion = trimmedWhitespaceAndNewlines(expansionField);
    if (phrase.empty() || expansion.empty()) return false;
    context_.store().updateSnippets(
        [&](std::vector<VoiceSnippet>& snippets) { snippets.push_back({phrase, expansion}); });
    context_.refresh();
    return true;
}

void SnippetsViewModel::reset() {
    context_.store().setSnippets(VoiceSnippet::defaults());
    context_.refresh();
}

}  // namespace tavlo
