#include "hub/model/HistoryViewModel.h"

#include <algorithm>

#include "hub/model/HistoryDateFormat.h"
#include "hub/model/UnicodeText.h"
#include "settings/TextTrimming.h"

namespace tavlo {
namespace {

constexpr std::size_t summaryWordLimit = 8;
constexpr std::string_view noDictationsYet = "No dictations yet.";

bool contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

}  // namespace

HistoryViewModel::HistoryViewModel(HubContext& context)
    : context_(context),
      dateFormatter_(context.locale().localeIdentifier, context.locale().timeZoneIdentifier) {}

std::string HistoryViewModel::summary(std::string_view text) {
    const std::vector<std::string> words = hubtext::words(text);
    if (words.empty()) return "Empty dictation";
    std::string result;
    for (std::size_t i = 0; i < std::min(words.size(), summaryWordLimit); ++i) {
        if (i > 0) result += ' ';
        result += words[i];
    }
    if (words.size() > summaryWordLimit) result += "...";
    return result;
}

std::string HistoryViewModel::formattedDate(Date date) const {
    return dateFormatter_.format(date);
}

// --- Search ----------------------------------------------------------------------

void HistoryViewModel::searchChanged(std::string_view fieldText) {
    query_ = trimmedWhitespaceAndNewlines(fieldText);
    setSelection(std::nullopt);
    reload();
    if (!shown_.empty()) setSelection(0);
    context_.historyChanged();
}

std::vector<RecentDictation> HistoryViewModel::filteredHistory() const {
    std::vector<RecentDictation> entries = context_.store().recent();
    if (query_.empty()) return entries;
    const std::string query = hubtext::lowerCased(query_);
    std::erase_if(entries, [&](const RecentDictation& entry) {
        return !contains(hubtext::lowerCased(entry.text), query) &&
               !contains(hubtext::lowerCased(entry.appName), query) &&
               !contains(hubtext::lowerCased(summary(entry.text)), query);
    });
    return entries;
}

// --- Table -----------------------------------------------------------------------

std::optional<HistoryViewModel::Row> HistoryViewModel::row(std::size_t index) const {
    if (index >= shown_.size()) return std::nullopt;
    return Row{formattedDate(shown_[index].date), summary(shown_[index].text)};
}

void HistoryViewModel::selectionChanged(std::optional<std::size_t> row) {
    if (row && *row >= shown_.size()) row.reset();
    if (row == selectedRow_) return;
    setSelection(row);
    context_.historyChanged();
}

void HistoryViewModel::setSelection(std::optional<std::size_t> row) {
    if (row == selectedRow_) return;
    selectedRow_ = row;
    // Reading another entry leaves the all-entries view.
    expandedAll_ = false;
}

void HistoryViewModel::reload() {
    shown_ = filteredHistory();
    if (selectedRow_ && *selectedRow_ >= shown_.size()) setSelection(std::nullopt);
}

void HistoryViewModel::reloadForRefresh() {
    reload();
    if (!selectedRow_ && !shown_.empty()) setSelection(0);
}

// --- Detail ----------------------------------------------------------------------

std::string HistoryViewModel::entryHeading(const RecentDictation& entry) const {
    return formattedDate(entry.date) + "  " + entry.appName;
}

std::optional<RecentDictation> HistoryViewModel::selectedEntry() const {
    if (!selectedRow_ || *selectedRow_ >= shown_.size()) return std::nullopt;
    return shown_[*selectedRow_];
}

std::string HistoryViewModel::detailText() const {
    if (expandedAll_) return expandedText();
    if (const auto entry = selectedEntry()) return entryHeading(*entry) + "\n\n" + entry->text;
    return context_.store().recent().empty() ? std::string(noDictationsYet) : std::string();
}

std::string HistoryViewModel::noMatchMessage() const {
    if (!shown_.empty() || context_.store().recent().empty()) return {};
    return "No matches for \u201c" + query_ + "\u201d.";
}

std::string HistoryViewModel::expandedText() const {
    std::string text;
    for (const RecentDictation& entry : shown_) {
        if (!text.empty()) text += "\n\n";
        text += entryHeading(entry) + "\n" + entry.text;
    }
    return text;
}

std::optional<std::string> HistoryViewModel::selectedText() const {
    if (expandedAll_) {
        // Nothing shown is nothing to paste.
        std::string text = expandedText();
        if (text.empty()) return std::nullopt;
        return text;
    }
    if (const auto entry = selectedEntry()) return entry->text;
    const std::string shown = trimmedWhitespaceAndNewlines(detailText());
    if (shown.empty() || shown == noDictationsYet) return std::nullopt;
    return shown;
}

std::string HistoryViewModel::expandButtonTitle() const { return expandedAll_ ? "Collapse" : "Expand all"; }

// --- Actions ---------------------------------------------------------------------

void HistoryViewModel::pasteSelected() {
    const auto text = selectedText();
    if (!text) {
        context_.feedback().beep();
        return;
    }
    if (const auto host = context_.host()) host->pasteTextFromHub(*text);
    context_.feedback().hapticTick();
}

void HistoryViewModel::copySelected() {
    const auto text = selectedText();
    if (!text) {
        context_.feedback().beep();
        return;
    }
    if (const auto host = context_.host()) host->copyTextFromHub(*text);
    context_.feedback().hapticTick();
}

void HistoryViewModel::deleteSelected() {
    const auto entry = selectedEntry();
    if (!entry) return;
    const std::size_t oldRow = *selectedRow_;
    context_.feedback().hapticTick();

    // Identical entries (same date, application and text) go together; a
    // dictation another program added meanwhile stays.
    context_.store().updateRecent([&](std::vector<RecentDictation>& entries) {
        std::erase_if(entries, [&](const RecentDictation& candidate) { return candidate == *entry; });
    });

    reload();
    setSelection(shown_.empty() ? std::nullopt : std::optional<std::size_t>(std::min(oldRow, shown_.size() - 1)));
    context_.historyChanged();
    context_.render(HubSection::history);
}

std::optional<HubQuestion<ConfirmAnswer>> HistoryViewModel::deleteQuestion() const {
    const auto entry = selectedEntry();
    if (!entry) return std::nullopt;
    return confirmation("Delete this dictation?",
                        "\"" + summary(entry->text) + "\" is removed from your history. This cannot be undone.",
                        "Delete");
}

std::optional<HubQuestion<ConfirmAnswer>> HistoryViewModel::clearQuestion() const {
    const std::size_t count = context_.store().recent().size();
    if (count == 0) return std::nullopt;
    return confirmation("Clear the whole history?",
                        (count == 1 ? std::string("The one saved dictation is")
                                    : "All " + std::to_string(count) + " saved dictations are") +
                            " removed. This cannot be undone.",
                        "Clear history");
}

void HistoryViewModel::clear() {
    context_.feedback().hapticTick();
    context_.store().setRecent({});
    query_.clear();
    setSelection(std::nullopt);
    reload();
    context_.render(HubSection::history);
}

void HistoryViewModel::toggleExpand() {
    context_.feedback().hapticTick();
    expandedAll_ = !expandedAll_;
    context_.historyChanged();
}

}  // namespace tavlo
