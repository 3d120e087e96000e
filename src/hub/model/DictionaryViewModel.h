#pragma once
// The Dictionary section: the user's recognition hints, one per line in an
// editable text view. Every action writes the store at once and refreshes
// the view from it (the store trims, drops empty entries and repeats).
//
// Text positions are UTF-16 code units, as Qt's text widgets count them.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hub/model/HubContext.h"
#include "hub/model/HubQuestion.h"

namespace tavlo {

class DictionaryViewModel {
public:
    explicit DictionaryViewModel(HubContext& context) : context_(context) {}
    DictionaryViewModel(const DictionaryViewModel&) = delete;
    DictionaryViewModel& operator=(const DictionaryViewModel&) = delete;

    // The edited text's terms: one per line, trimmed, without empty lines and
    // the placeholder "No dictionary terms yet."; repeats are kept.
    static std::vector<std::string> cleanedLines(std::string_view text);

    // What the text view shows: the stored words joined with line feeds.
    std::string text() const;

    // "Add" or Return in the field: true when a term was stored and the field
    // is to be emptied; blank text is ignored.
    bool addWord(std::string_view fieldText);
    // "Save edits": the view's whole text becomes the list.
    void saveEdits(std::string_view editorText);
    // "Delete": removes the line holding the cursor (`selectionStart`, UTF-16
    // units, clamped to the text) and stores what remains, unsaved edits
    // included. The new cursor position (UTF-16 units) to set after the
    // refresh; absent when the text was empty and nothing happened.
    std::optional<std::size_t> deleteLine(std::string_view editorText, std::size_t selectionStart);
    // "Clear": the view asks clearQuestion() first (absent when the list is empty).
    void clear();
    std::optional<HubQuestion<ConfirmAnswer>> clearQuestion() const;
    // Whether the text view holds edits not yet saved with "Save edits".
    bool hasUnsavedEdits(std::string_view editorText) const;
    // Asked when the user leaves the section (or closes the window) with
    // unsaved edits.
    static HubQuestion<LeaveAnswer> leaveQuestion();

private:
    void store(const std::vector<std::string>& words);

    HubContext& context_;
};

}  // namespace tavlo
