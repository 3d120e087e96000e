// The dictation history: newest first, at most 30 entries, and the same
// dictation delivered twice within 15 seconds recorded once.
#include <chrono>

#include "SettingsStoreFixture.h"

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

TEST_F(SettingsStoreTest, UnreadableHistoryStartsAfresh) {
    SettingsStore& store = open();
    storeJson("recentDictations", R"([{"date":1,"appName":"A","text":"x"},{"date":"yesterday","appName":"A","text":"y"}])");
    EXPECT_TRUE(store.recent().empty());
    store.addRecent("fresh", "Notes");
    EXPECT_EQ(store.recent().size(), 1u);
}

}  // namespace
}  // namespace tavlo::testing
