// History: summaries, search, detail, paste and copy, delete, clear, expand.
#include <functional>

#include "HubTestSupport.h"

namespace tavlo::testing {
namespace {

// 2024-03-05 14:07 and 2024-12-31 23:30, both UTC.
const Date march5 = dateFromReferenceSeconds(731340420);
const Date newYearsEve = dateFromReferenceSeconds(757380600);

class HistoryTest : public HubModelTest {
protected:
    HistoryViewModel& history() { return hub->history(); }

    void storeHistory(std::vector<RecentDictation> entries) {
        store.setRecent(entries);
        hub->render(HubSection::history);
    }

    std::vector<std::string> shownTexts() {
        std::vector<std::string> texts;
        for (const auto& entry : history().filteredHistory()) texts.push_back(entry.text);
        return texts;
    }

    std::vector<std::string> storedTexts() {
        std::vector<std::string> texts;
        for (const auto& entry : store.recent()) texts.push_back(entry.text);
        return texts;
    }
};

TEST(HistorySummary, FirstEightWords) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"one two three four five six seven eight", "one two three four five six seven eight"},
        {"one two three four five six seven eight nine", "one two three four five six seven eight..."},
        {"  one\ttwo\n\nthree  ", "one two three"},
        {"   \n\t ", "Empty dictation"},
        {"", "Empty dictation"},
        {"a\u00A0b\u2028c", "a b c"},
    };
    for (const auto& [text, summary] : cases) EXPECT_EQ(HistoryViewModel::summary(text), summary) << text;
}

TEST_F(HistoryTest, EmptyHistoryShowsNoDictationsAndPasteAndCopyBeep) {
    hub->render(HubSection::history);
    EXPECT_EQ(history().rowCount(), 0u);
    EXPECT_EQ(history().selectedRow(), std::nullopt);
    EXPECT_EQ(history().detailText(), "No dictations yet.");
    EXPECT_EQ(history().selectedText(), std::nullopt);
    history().pasteSelected();
    history().copySelected();
    EXPECT_EQ(feedback->beeps, 2);
    EXPECT_TRUE(takeHostCalls().empty());
}

TEST_F(HistoryTest, RenderingSelectsTheFirstEntryAndShowsItsDetail) {
    storeHistory({{march5, "Mail", "Hello there"}, {newYearsEve, "Slack", "Happy new year"}});
    EXPECT_EQ(history().rowCount(), 2u);
    EXPECT_EQ(history().row(0), (HistoryViewModel::Row{"05 Mar 14:07", "Hello there"}));
    EXPECT_EQ(history().row(2), std::nullopt);
    EXPECT_EQ(history().selectedRow(), 0u);
    EXPECT_EQ(history().detailText(), "05 Mar 14:07  Mail\n\nHello there");

    history().selectionChanged(1);
    EXPECT_EQ(history().detailText(), "31 Dec 23:30  Slack\n\nHappy new year");
    EXPECT_EQ(takeEvents().back(), "historyChanged");
    history().pasteSelected();
    history().copySelected();
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"paste:Happy new year", "copy:Happy new year"}));
    EXPECT_EQ(feedback->ticks, 2);
}

TEST_F(HistoryTest, DatesFollowTheUserLocaleAndTimeZone) {
    makeHub({"de_DE", "Europe/Berlin"});
    EXPECT_EQ(history().formattedDate(march5), "05 März 15:07");
    EXPECT_EQ(history().formattedDate(newYearsEve), "01 Jan. 00:30");
}

TEST_F(HistoryTest, SearchMatchesTextApplicationAndSummaryIgnoringCase) {
    storeHistory({
        {march5, "Mail", "Quarterly report attached"},
        {march5, "Slack", "lunch at noon?"},
        {march5, "Mail", "one two three four five six seven eight nine"},
        {march5, "Terminal", "   "},
        {march5, "Notes", "Ünïcode CAFÉ"},
    });
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
        {"", {"Quarterly report attached", "lunch at noon?", "one two three four five six seven eight nine", "   ",
              "Ünïcode CAFÉ"}},
        {"REPORT", {"Quarterly report attached"}},
        {"MAI", {"Quarterly report attached", "one two three four five six seven eight nine"}},
        {"...", {"one two three four five six seven eight nine"}},
        {"empty", {"   "}},
        {"  noon  ", {"lunch at noon?"}},
        {"café", {"Ünïcode CAFÉ"}},
        {"nothing like this", {}},
    };
    for (const auto& [query, expected] : cases) {
        SCOPED_TRACE(query);
        history().searchChanged(query);
        EXPECT_EQ(shownTexts(), expected);
        EXPECT_EQ(history().rowCount(), expected.size());
        EXPECT_EQ(history().selectedRow(), expected.empty() ? std::nullopt : std::optional<std::size_t>(0));
    }
    EXPECT_EQ(history().query(), "nothing like this");
    // Nothing matches: no detail and nothing to paste, though entries exist.
    EXPECT_EQ(history().detailText(), "");
    EXPECT_EQ(history().selectedText(), std::nullopt);
}

struct DeleteCase {
    const char* name;
    std::vector<std::string> texts;
    std::size_t selected;
    std::vector<std::string> remaining;
    std::optional<std::size_t> selectedAfter;
};

TEST_F(HistoryTest, DeleteRemovesTheEntryWithItsIdenticalCopiesAndKeepsARowSelected) {
    const std::vector<DeleteCase> cases{
        {"middle", {"a", "b", "c"}, 1, {"a", "c"}, 1},
        {"last selects the new last", {"a", "b", "c"}, 2, {"a", "b"}, 1},
        {"only row", {"a"}, 0, {}, std::nullopt},
        {"identical copies go together", {"a", "b", "a", "c"}, 0, {"b", "c"}, 0},
    };
    for (const DeleteCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<RecentDictation> entries;
        for (const auto& text : c.texts) entries.push_back({march5, "App", text});
        storeHistory(entries);
        history().selectionChanged(c.selected);
        takeEvents();

        history().deleteSelected();

        EXPECT_EQ(storedTexts(), c.remaining);
        EXPECT_EQ(history().selectedRow(), c.selectedAfter);
        EXPECT_EQ(takeEvents(), (std::vector<std::string>{"historyChanged", "render History", "refresh"}));
    }
}

TEST_F(HistoryTest, SameTextAtAnotherTimeIsNotAnIdenticalCopy) {
    storeHistory({{march5, "App", "same"}, {newYearsEve, "App", "same"}, {march5, "Other", "same"}});
    history().deleteSelected();
    ASSERT_EQ(store.recent().size(), 2u);
    EXPECT_EQ(store.recent()[0].date, newYearsEve);
    EXPECT_EQ(store.recent()[1].appName, "Other");
}

TEST_F(HistoryTest, DeleteActsOnTheRowOfTheFilteredList) {
    storeHistory({{march5, "Mail", "keep me"}, {march5, "Slack", "delete me"}, {march5, "Slack", "and keep me"}});
    history().searchChanged("slack");
    history().selectionChanged(0);
    history().deleteSelected();
    EXPECT_EQ(storedTexts(), (std::vector<std::string>{"keep me", "and keep me"}));
    EXPECT_EQ(history().selectedRow(), 0u);
    EXPECT_EQ(history().detailText(), "05 Mar 14:07  Slack\n\nand keep me");
}

TEST_F(HistoryTest, DeleteWithoutSelectionDoesNothing) {
    hub->render(HubSection::history);
    const int ticks = feedback->ticks;
    history().deleteSelected();
    EXPECT_EQ(feedback->ticks, ticks);
}

TEST_F(HistoryTest, ClearEmptiesTheHistoryAndTheSearch) {
    storeHistory({{march5, "Mail", "a"}, {march5, "Mail", "b"}});
    history().searchChanged("a");
    history().clear();
    EXPECT_TRUE(store.recent().empty());
    EXPECT_EQ(history().query(), "");
    EXPECT_EQ(history().rowCount(), 0u);
    EXPECT_EQ(history().detailText(), "No dictations yet.");
    EXPECT_EQ(hub->selectedSection(), HubSection::history);
}

TEST_F(HistoryTest, ExpandAllShowsAndPastesEveryShownEntryUntilTheSelectionChanges) {
    storeHistory({{march5, "Mail", "first"}, {newYearsEve, "Slack", "second"}});
    EXPECT_EQ(history().expandButtonTitle(), "Expand all");

    history().toggleExpand();
    const std::string all = "05 Mar 14:07  Mail\nfirst\n\n31 Dec 23:30  Slack\nsecond";
    EXPECT_TRUE(history().isExpandedAll());
    EXPECT_EQ(history().expandButtonTitle(), "Collapse");
    EXPECT_EQ(history().detailText(), all);
    history().pasteSelected();
    EXPECT_EQ(takeHostCalls(), (std::vector<std::string>{"paste:" + all}));

    history().selectionChanged(0);  // the same row: no change
    EXPECT_TRUE(history().isExpandedAll());
    history().selectionChanged(1);
    EXPECT_FALSE(history().isExpandedAll());
    EXPECT_EQ(history().expandButtonTitle(), "Expand all");
    EXPECT_EQ(history().detailText(), "31 Dec 23:30  Slack\n\nsecond");
}

TEST_F(HistoryTest, ExpandAllWithNothingShownHasNothingToPaste) {
    storeHistory({{march5, "Mail", "first"}});
    history().searchChanged("zzz");
    history().toggleExpand();
    history().copySelected();
    EXPECT_EQ(feedback->beeps, 1);
    EXPECT_TRUE(takeHostCalls().empty());
}

TEST_F(HistoryTest, ASearchWithoutMatchesSaysSoAndLeavesNothingToPaste) {
    // An empty history says so in the detail, not as a search result.
    EXPECT_EQ(history().noMatchMessage(), "");
    EXPECT_EQ(history().detailText(), "No dictations yet.");
    storeHistory({{march5, "Mail", "first"}});
    EXPECT_EQ(history().noMatchMessage(), "");
    history().searchChanged("  zzz ");
    EXPECT_EQ(history().noMatchMessage(), "No matches for \u201czzz\u201d.");
    for (const auto& act : {std::function<void()>([this] { history().pasteSelected(); }),
                            std::function<void()>([this] { history().copySelected(); })})
        act();
    EXPECT_EQ(feedback->beeps, 2);
    EXPECT_TRUE(takeHostCalls().empty());
    history().searchChanged("fir");
    EXPECT_EQ(history().noMatchMessage(), "");
}

TEST_F(HistoryTest, SearchSurvivesSwitchingSections) {
    storeHistory({{march5, "Mail", "a"}, {march5, "Slack", "b"}});
    history().searchChanged("slack");
    hub->render(HubSection::dictionary);
    hub->render(HubSection::history);
    EXPECT_EQ(history().query(), "slack");
    EXPECT_EQ(shownTexts(), (std::vector<std::string>{"b"}));
}

TEST_F(HistoryTest, WithoutAHostPasteOnlyTicks) {
    storeHistory({{march5, "Mail", "a"}});
    appHost.reset();
    history().pasteSelected();
    EXPECT_EQ(feedback->ticks, 1);
    EXPECT_EQ(feedback->beeps, 0);
}

}  // namespace
}  // namespace tavlo::testing
