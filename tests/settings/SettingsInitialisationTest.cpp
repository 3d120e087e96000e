// First start on an empty preference store, later starts, and the one migration.
#include <nlohmann/json.hpp>

#include "settings/PreferenceKeys.h"
#include "settings/SettingsStoreFixture.h"

namespace tavlo::testing {
namespace {

using nlohmann::json;

json storedJson(InMemoryPreferenceStore& preferences, std::string_view key) {
    const auto data = preferences.data(key);
    if (!data) return nullptr;
    return json::parse(data->bytes);
}

TEST_F(SettingsStoreTest, FirstRunWritesExactlyTheThirteenFirstRunValues) {
    host.variables["LANG"] = "de_DE.UTF-8";
    open();

    const auto& stored = preferences.contents();
    std::vector<std::string> keys;
    for (const auto& [key, value] : stored) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"autoPaste", "bubbleVisible", "cleanupEnabled", "holdTrigger",
                                              "openAICloudMode", "pressTrigger", "shortcuts", "speechLanguage",
                                              "speechModel", "storageMode", "transformStyle",
                                              "updateCheckFrequency", "voiceSnippets"}));
    EXPECT_EQ(preferences.writeCount(), 13);

    EXPECT_EQ(storedJson(preferences, "voiceSnippets"), json(VoiceSnippet::defaults()));
    EXPECT_EQ(storedJson(preferences, "shortcuts"), json(ShortcutSettings::defaults()));
    EXPECT_EQ(storedJson(preferences, "holdTrigger"),
              json::parse(R"({"modifiers":0,"display":"Fn","isFunctionKey":true})"));
    EXPECT_EQ(storedJson(preferences, "pressTrigger"), storedJson(preferences, "holdTrigger"));
    EXPECT_EQ(preferences.string("transformStyle"), "Clean");
    EXPECT_EQ(preferences.string("speechModel"), "Apple on-device");
    EXPECT_EQ(preferences.string("speechLanguage"), "de_DE");
    EXPECT_EQ(preferences.string("openAICloudMode"), "Tavlo service");
    EXPECT_EQ(preferences.string("storageMode"), "Local");
    EXPECT_EQ(preferences.string("updateCheckFrequency"), "Weekly");
    for (const char* flag : {"bubbleVisible", "autoPaste", "cleanupEnabled"})
        EXPECT_EQ(preferences.object(flag), PreferenceValue(true)) << flag;
}

TEST_F(SettingsStoreTest, LaterStartsChangeNothing) {
    open();
    const auto afterFirstRun = preferences.contents();
    const int writes = preferences.writeCount();
    host.variables["LANG"] = "fr_FR.UTF-8";  // even when the locale changed since
    open();
    EXPECT_EQ(preferences.writeCount(), writes);
    EXPECT_EQ(preferences.contents(), afterFirstRun);
}

TEST_F(SettingsStoreTest, PresentKeysAreLeftAloneWhateverTheirValue) {
    preferences.set("transformStyle", std::string("no such style"));
    preferences.set("bubbleVisible", false);
    preferences.set("speechLanguage", std::string("ja_JP"));
    storeJson("shortcuts", "{broken");
    preferences.set("autoPaste", 3.0);  // not even of the right kind
    SettingsStore& store = open();

    EXPECT_EQ(preferences.string("transformStyle"), "no such style");
    EXPECT_EQ(preferences.data("shortcuts")->bytes, "{broken");
    EXPECT_EQ(preferences.object("autoPaste"), PreferenceValue(3.0));
    EXPECT_FALSE(store.bubbleVisible());
    EXPECT_EQ(store.speechLanguageIdentifier(), "ja_JP");
    EXPECT_EQ(store.transformStyle(), TransformStyle::clean);
    EXPECT_EQ(store.shortcuts(), ShortcutSettings::defaults());
}

struct StoredPressTrigger {
    const char* name;
    std::string json;
    bool becomesFunctionKey;
};

class PressTriggerMigration : public SettingsStoreTest,
                              public ::testing::WithParamInterface<StoredPressTrigger> {};

TEST_P(PressTriggerMigration, OnlyTheEarlierDefaultBecomesTheFunctionKey) {
    storeJson(PreferenceKey::pressTrigger, GetParam().json);
    storeJson(PreferenceKey::holdTrigger, GetParam().json);
    open();
    const auto pressAfter = preferences.data(PreferenceKey::pressTrigger)->bytes;
    if (GetParam().becomesFunctionKey)
        EXPECT_EQ(json::parse(pressAfter), json(TriggerShortcut::function()));
    else
        EXPECT_EQ(pressAfter, GetParam().json);
    // The hold trigger is never migrated.
    EXPECT_EQ(preferences.data(PreferenceKey::holdTrigger)->bytes, GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(
    StoredValues, PressTriggerMigration,
    ::testing::Values(
        StoredPressTrigger{"EarlierDefault",
                           R"({"keyCode":49,"modifiers":6144,"display":"Ctrl+Opt+Space","isFunctionKey":false})",
                           true},
        StoredPressTrigger{"OtherDisplay",
                           R"({"keyCode":49,"modifiers":6144,"display":"Ctrl+Alt+Space","isFunctionKey":false})",
                           false},
        StoredPressTrigger{"OtherModifiers",
                           R"({"keyCode":49,"modifiers":4096,"display":"Ctrl+Opt+Space","isFunctionKey":false})",
                           false},
        StoredPressTrigger{"MarkedAsFunctionKey",
                           R"({"keyCode":49,"modifiers":6144,"display":"Ctrl+Opt+Space","isFunctionKey":true})",
                           false},
        StoredPressTrigger{"DoesNotDecode", R"({"keyCode":49,"modifiers":6144,"display":"Ctrl+Opt+Space"})",
                           false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavlo::testing
