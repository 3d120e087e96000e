// The dictation history: newest first, at most 30 entries, and the same
// dictation delivered twice within 15 seconds recorded once.
#include <chrono>

#include "settings/SettingsStoreFixture.h"

namespace tavlo::testing {
namespace {

using namespace std::chrono_literals;

TEST_F(SettingsStoreTest, HistoryIsNewestFirstWithTrimmedText) {
    SettingsStore& store = open();
    const Date first = clock.now();
    store.addRecent("  hello there\n", "Notes");
    clock.advance(2s);
    store.addRecent("second", "Mail");
    EXPECT_TRUE(sameHistory(store.recent(), {{first + 2s, "Mail", "second"}, {first, "Notes", "hello there"}}));
}

TEST_F(SettingsStoreTest, BlankTextChangesNothing) {
    SettingsStore& store = open();
    const int writes = preferences.writeCount();
    store.addRecent(" \n\t\u00a0", "Notes");
    store.addRecent("", "Notes");
    EXPECT_EQ(preferences.writeCount(), writes);
    EXPECT_TRUE(store.recent().empty());
}

struct Repeat {
    const char* name;
    std::chrono::milliseconds after;
    const char* appName;
    const char* text;
    bool merged;
};

class HistoryRepeat : public SettingsStoreTest, public ::testing::WithParamInterface<Repeat> {};

TEST_P(HistoryRepeat, SameDictationWithinFifteenSecondsIsOneEntry) {
    SettingsStore& store = open();
    store.addRecent("ship it", "Slack");
    clock.advance(GetParam().after);
    store.addRecent(GetParam().text, GetParam().appName);

    const auto entries = store.recent();
    const RecentDictation latest{clock.now(), GetParam().appName, GetParam().text};
    if (GetParam().merged) {
        EXPECT_TRUE(sameHistory(entries, {latest}));
    } else {
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_TRUE(sameHistory({entries.front()}, {latest}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HistoryRepeat,
    ::testing::Values(Repeat{"Immediately", 0ms, "Slack", "ship it", true},
                      Repeat{"JustInside", 14999ms, "Slack", "ship it", true},
                      Repeat{"AtFifteenSeconds", 15000ms, "Slack", "ship it", false},
                      Repeat{"OtherApplication", 1000ms, "Mail", "ship it", false},
                      Repeat{"OtherText", 1000ms, "Slack", "Ship it", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsStoreTest, OnlyTheNewestEntryIsMergedInto) {
    SettingsStore& store = open();
    store.addRecent("a", "Notes");
    store.addRecent("b", "Notes");
    store.addRecent("a", "Notes");  // same as an older entry, not the newest
    EXPECT_EQ(store.recent().size(), 3u);
}

TEST_F(SettingsStoreTest, HistoryKeepsTheNewestThirty) {
    SettingsStore& store = open();
    std::vector<RecentDictation> written;
    for (int i = 0; i < 31; ++i) written.push_back({clock.now() - std::chrono::minutes(i), "App", std::to_string(i)});
    store.setRecent(written);
    const auto read = store.recent();
    ASSERT_EQ(read.size(), 30u);
    EXPECT_TRUE(sameHistory(read, std::vector<RecentDictation>(written.begin(), written.begin() + 30)));

    clock.advance(1h);
    store.addRecent("newest", "App");
    const auto afterAdd = store.recent();
    ASSERT_EQ(afterAdd.size(), 30u);
    EXPECT_EQ(afterAdd.front().text, "newest");
    EXPECT_EQ(afterAdd.back().text, "28");
}

// One damaged entry (a hand edit, an older version) costs that entry only:
// the others are read, and the next write keeps the whole old value aside
// before it replaces it.
TEST_F(SettingsStoreTest, UnreadableHistoryEntriesAreSkippedAndTheOldValueKeptAside) {
    SettingsStore& store = open();
    const std::string stored =
        R"([{"date":1,"appName":"A","text":"x"},{"date":"yesterday","appName":"A","text":"y"},7,)"
        R"({"date":2,"appName":"B","text":"z"}])";
    storeJson("recentDictations", stored);
    clock.set(Date{std::chrono::seconds(978'307'200 + 100)});
    EXPECT_TRUE(sameHistory(store.recent(), {{dateFromReferenceSeconds(1), "A", "x"},
                                            {dateFromReferenceSeconds(2), "B", "z"}}));
    EXPECT_TRUE(preferences.keptAside().empty());  // reading changes nothing

    store.addRecent("fresh", "Notes");
    const auto history = store.recent();
    ASSERT_EQ(history.size(), 3u);
    EXPECT_EQ(history[0].text, "fresh");
    EXPECT_EQ(history[1].text, "x");
    EXPECT_EQ(history[2].text, "z");
    ASSERT_EQ(preferences.keptAside().size(), 1u);
    EXPECT_EQ(preferences.keptAside()[0].first, "recentDictations");
    EXPECT_EQ(preferences.keptAside()[0].second, PreferenceValue(BinaryData{stored}));

    // Once the stored list reads whole again, writes keep nothing more aside.
    store.addRecent("again", "Notes");
    EXPECT_EQ(preferences.keptAside().size(), 1u);
}

TEST_F(SettingsStoreTest, AHistoryOfAnotherKindIsKeptAsideBeforeTheFirstEntry) {
    SettingsStore& store = open();
    preferences.set("recentDictations", std::string("not a list"));
    EXPECT_TRUE(store.recent().empty());
    store.addRecent("fresh", "Notes");
    EXPECT_EQ(store.recent().size(), 1u);
    ASSERT_EQ(preferences.keptAside().size(), 1u);
    EXPECT_EQ(preferences.keptAside()[0].second, PreferenceValue(std::string("not a list")));
}

}  // namespace
}  // namespace tavlo::testing
