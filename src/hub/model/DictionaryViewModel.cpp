#include "hub/model/DictionaryViewModel.h"

#include <algorithm>

#include "hub/model/UnicodeText.h"
#include "settings/TextTrimming.h"

namespace tavlo {
namespace {

// What an empty list used to show in the text view; never a term.
constexpr std::string_view placeholder = "No dictionary terms yet.";

}  // namespace

std::vector<std::string> DictionaryViewModel::cleanedLines(std::string_view text) {
    std::vector<std::string> terms;
    for (const std::string& line : hubtext::lines(text)) {
        std::string term = trimmedWhitespaceAndNewlines(line);
        if (!term.empty() && term != placeholder) terms.push_back(std::move(term));
    }
    return terms;
}

std::string DictionaryViewModel::text() const {
    std::string text;
    for (const std::string& word : context_.store().dictionaryWords()) {
        if (!text.empty()) text += '\n';
        text += word;
    }
    return text;
}

void DictionaryViewModel::store(const std::vector<std::string>& words) {
    context_.store().setDictionaryWords(words);
    context_.refresh();
}

bool DictionaryViewModel::addWord(std::string_view fieldText) {
    std::string term = trimmedWhitespaceAndNewlines(fieldText);
    if (term.empty()) return false;
    context_.store().updateDictionaryWords([&](std::vector<std::string>& words) { words.push_back(term); });
    context_.refresh();
    return true;
}

void DictionaryViewModel::saveEdits(std::string_view editorText) { store(cleanedLines(editorText)); }

std::optional<std::size_t> DictionaryViewModel::deleteLine(std::string_view editorText, std::size_t selectionStart) {
    if (editorText.empty()) return std::nullopt;
    const std::size_t position = std::min(selectionStart, hubtext::utf16Length(editorText));
    store(cleanedLines(hubtext::withoutLineAt(editorText, position)));
    return std::min(position, hubtext::utf16Length(text()));
}

void DictionaryViewModel::clear() { store({}); }

std::optional<HubQuestion<ConfirmAnswer>> DictionaryViewModel::clearQuestion() const {
    const std::size_t count = context_.store().dictionaryWords().size();
    if (count == 0) return std::nullopt;
    return confirmation("Clear the dictionary?",
                        (count == 1 ? std::string("Its one term is") : "All " + std::to_string(count) + " terms are") +
                            " removed. This cannot be undone.",
                        "Clear");
}

bool DictionaryViewModel::hasUnsavedEdits(std::string_view editorText) const {
    return cleanedLines(editorText) != context_.store().dictionaryWords();
}

HubQuestion<LeaveAnswer> DictionaryViewModel::leaveQuestion() {
    return {"Save dictionary edits?",
            "You changed the dictionary's terms. Save them, discard them, or keep editing.",
            {{LeaveAnswer::save, "Save"}, {LeaveAnswer::discard, "Discard"}, {LeaveAnswer::cancel, "Cancel"}}};
}

}  // namespace tavlo
