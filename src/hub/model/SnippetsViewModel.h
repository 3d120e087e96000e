#pragma once
// The Snippets section: spoken phrases and the text they expand into.
// Every action writes the store at once and refreshes the view from it.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hub/model/HubContext.h"
#include "hub/model/HubQuestion.h"
#include "base/Records.h"

namespace tavlo {

class SnippetsViewModel {
public:
    explicit SnippetsViewModel(HubContext& context) : context_(context) {}
    SnippetsViewModel(const SnippetsViewModel&) = delete;
    SnippetsViewModel& operator=(const SnippetsViewModel&) = delete;

    // Each snippet as "phrase" -> expansion, separated by an empty line.
    static std::string listText(const std::vector<VoiceSnippet>& snippets);
    // What the read-only text view shows: listText of the stored snippets.
    std::string text() const;

    // "Add": both fields trimmed; true when the snippet was stored and both
    // fields are to be emptied. Either blank: nothing. A phrase already
    // present is added again, not replaced.
    bool addSnippet(std::string_view phraseField, std::string_view expansionField);
    // "Reset": the default snippets. The view asks resetQuestion() first.
    void reset();
    HubQuestion<ConfirmAnswer> resetQuestion() const;

    // --- One snippet at a time -------------------------------------------------
    // One row per stored snippet: "phrase" → expansion, each line break of the
    // expansion shown as ↵ so a multi-line expansion reads as one.
    std::vector<std::string> rows() const;
    static std::string rowText(const VoiceSnippet& snippet);
    // The stored snippet at that row; absent outside the list.
    std::optional<VoiceSnippet> snippet(std::size_t row) const;
    // "Save": replaces the snippet at that row with the trimmed fields; false
    // (and a beep) when either is blank or the row is gone.
    bool updateSnippet(std::size_t row, std::string_view phraseField, std::string_view expansionField);
    // "Delete": removes the snippet at that row, after deleteQuestion().
    void deleteSnippet(std::size_t row);
    std::optional<HubQuestion<ConfirmAnswer>> deleteQuestion(std::size_t row) const;

private:
    HubContext& context_;
};

}  // namespace tavlo
