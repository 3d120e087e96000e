#pragma once
// The History section: the store's recent dictations (newest first), a
// search over their text, application name and summary, one entry's detail
// or all shown entries at once, and paste, copy, delete and clear.
//
// The table shows the entries as they were at its last reload (every
// refresh, search, delete and clear reloads it); the selection is a row of
// that list, so the buttons act on the entry the user sees.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hub/model/HistoryDateFormat.h"
#include "hub/model/HubContext.h"
#include "hub/model/HubQuestion.h"
#include "base/Records.h"

namespace tavlo {

class HistoryViewModel {
public:
    explicit HistoryViewModel(HubContext& context);
    HistoryViewModel(const HistoryViewModel&) = delete;
    HistoryViewModel& operator=(const HistoryViewModel&) = delete;

    // The first eight words of the text joined by single spaces, with "..."
    // when there are more; "Empty dictation" when there are none.
    static std::string summary(std::string_view text);
    // "dd MMM HH:mm" in the user's locale and time zone.
    std::string formattedDate(Date date) const;

    // --- Search --------------------------------------------------------------
    // The search text as the model holds it (trimmed); the search field shows it.
    const std::string& query() const { return query_; }
    // Every edit of the search field: filters, selects the first row.
    void searchChanged(std::string_view fieldText);
    // The store's entries that match the search, read afresh.
    std::vector<RecentDictation> filteredHistory() const;

    // --- Table ---------------------------------------------------------------
    struct Row {
        std::string time;     // "dd MMM HH:mm"
        std::string summary;
        bool operator==(const Row&) const = default;
    };
    std::size_t rowCount() const { return shown_.size(); }
    // Absent outside the table.
    std::optional<Row> row(std::size_t index) const;
    std::optional<std::size_t> selectedRow() const { return selectedRow_; }
    // The table's selection changed (a click or the keyboard). A change
    // collapses "Expand all"; selecting the selected row again changes nothing.
    void selectionChanged(std::optional<std::size_t> row);

    // --- Detail --------------------------------------------------------------
    // What the detail view shows.
    std::string detailText() const;
    // The line that stands in for the rows while a search finds none of the
    // stored entries; empty otherwise (an empty history says so in the detail).
    std::string noMatchMessage() const;
    // Every shown entry: date, two spaces, application, a line feed, the
    // text; entries separated by an empty line.
    std::string expandedText() const;
    // What Paste and Copy act on; absent when there is nothing.
    std::optional<std::string> selectedText() const;
    bool isExpandedAll() const { return expandedAll_; }
    // "Collapse" while every entry is shown, otherwise "Expand all".
    std::string expandButtonTitle() const;

    // --- Actions -------------------------------------------------------------
    void pasteSelected();
    void copySelected();
    // Removes the selected entry and every identical one (same date,
    // application and text); the row below (or the new last row) is selected.
    void deleteSelected();
    // Empties the history and the search. The view asks clearQuestion() first.
    void clear();
    // The questions before Delete and Clear history; absent when there is
    // nothing to remove.
    std::optional<HubQuestion<ConfirmAnswer>> deleteQuestion() const;
    std::optional<HubQuestion<ConfirmAnswer>> clearQuestion() const;
    void toggleExpand();

    // Reloads the table from the store and selects the first row when none is
    // selected (part of every refresh).
    void reloadForRefresh();

private:
    void reload();
    // Any change of the selection leaves the all-entries view.
    void setSelection(std::optional<std::size_t> row);
    std::optional<RecentDictation> selectedEntry() const;
    std::string entryHeading(const RecentDictation& entry) const;

    HubContext& context_;
    HistoryDateFormatter dateFormatter_;
    std::string query_;
    bool expandedAll_ = false;
    std::vector<RecentDictation> shown_;
    std::optional<std::size_t> selectedRow_;
};

}  // namespace tavlo
