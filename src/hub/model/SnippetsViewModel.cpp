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

HubQuestion<ConfirmAnswer> SnippetsViewModel::resetQuestion() const {
    return confirmation("Reset snippets?",
                        "Your snippets are replaced by the three examples Tavlo starts with. This cannot be undone.",
                        "Reset");
}

std::string SnippetsViewModel::rowText(const VoiceSnippet& snippet) {
    std::string expansion;
    for (const char c : snippet.expansion) {
        if (c == '\n')
            expansion += "\u21b5";
        else if (c != '\r')
            expansion += c;
    }
    return "\"" + snippet.phrase + "\" \u2192 " + expansion;
}

std::vector<std::string> SnippetsViewModel::rows() const {
    std::vector<std::string> rows;
    for (const VoiceSnippet& snippet : context_.store().snippets()) rows.push_back(rowText(snippet));
    return rows;
}

std::optional<VoiceSnippet> SnippetsViewModel::snippet(std::size_t row) const {
    const auto snippets = context_.store().snippets();
    if (row >= snippets.size()) return std::nullopt;
    return snippets[row];
}

bool SnippetsViewModel::updateSnippet(std::size_t row, std::string_view phraseField, std::string_view expansionField) {
    std::string phrase = trimmedWhitespaceAndNewlines(phraseField);
    std::string expansion = trimmedWhitespaceAndNewlines(expansionField);
    bool stored = false;
    if (!phrase.empty() && !expansion.empty())
        context_.store().updateSnippets([&](std::vector<VoiceSnippet>& snippets) {
            if (row >= snippets.size()) return;
            snippets[row] = {phrase, expansion};
            stored = true;
        });
    if (!stored) {
        context_.feedback().beep();
        return false;
    }
    context_.feedback().hapticTick();
    context_.refresh();
    return true;
}

std::optional<HubQuestion<ConfirmAnswer>> SnippetsViewModel::deleteQuestion(std::size_t row) const {
    const auto found = snippet(row);
    if (!found) return std::nullopt;
    return confirmation("Delete this snippet?",
                        "Saying \"" + found->phrase + "\" will no longer insert its text. This cannot be undone.",
                        "Delete");
}

void SnippetsViewModel::deleteSnippet(std::size_t row) {
    context_.store().updateSnippets([&](std::vector<VoiceSnippet>& snippets) {
        if (row < snippets.size()) snippets.erase(snippets.begin() + std::ptrdiff_t(row));
    });
    context_.refresh();
}

void SnippetsViewModel::reset() {
    context_.store().setSnippets(VoiceSnippet::defaults());
    context_.refresh();
}

}  // namespace tavlo
