#pragma once
// The Snippets section: spoken phrases and the text they expand into.
// Every action writes the store at once and refreshes the view from it.
#include <string>
#include <string_view>
#include <vector>

#include "hub/model/HubContext.h"
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
    // "Reset": the default snippets; no confirmation.
    void reset();

private:
    HubContext& context_;
};

}  // namespace tavlo
