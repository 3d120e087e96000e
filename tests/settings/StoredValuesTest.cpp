// Every property reads its default when its stored value is missing or cannot
// be read, and the optional ones remove their key when set to nothing.
#include <chrono>
#include <functional>

#include <nlohmann/json.hpp>

#include "settings/SettingsStoreFixture.h"

namespace tavlo::testing {
namespace {

struct Unreadable {
    const char* name;
    const char* key;
    PreferenceValue stored;
    std::function<bool(const SettingsStore&)> readsDefault;
};

class UnreadableValue : public SettingsStoreTest, public ::testing::WithParamInterface<Unreadable> {};

TEST_P(UnreadableValue, ReadsAsTheDefaultAndStaysStored) {
    SettingsStore& store = open();
    preferences.set(GetParam().key, GetParam().stored);
    EXPECT_TRUE(GetParam().readsDefault(store));
    EXPECT_EQ(preferences.object(GetParam().key), GetParam().stored);  // kept until the next write
}

BinaryData json(const char* text) { return BinaryData{text}; }

INSTANTIATE_TEST_SUITE_P(
    Properties, UnreadableValue,
    ::testing::Values(
        Unreadable{"ShortcutsMissingOneKey", "shortcuts",
                   json(R"({"toggle":{"keyCode":1,"modifiers":256,"display":"Cmd+S"},
                            "professional":{"keyCode":1,"modifiers":256,"display":"Cmd+S"},
                            "casual":{"keyCode":1,"modifiers":256,"display":"Cmd+S"},
                            "list":{"keyCode":1,"modifiers":256,"display":"Cmd+S"}})"),
                   [](const SettingsStore& s) { return s.shortcuts() == ShortcutSettings::defaults(); }},
        Unreadable{"ShortcutsAsText", "shortcuts", std::string("Opt+2"),
                   [](const SettingsStore& s) { return s.shortcuts() == ShortcutSettings::defaults(); }},
        Unreadable{"SnippetsNotJson", "voiceSnippets", json("[{"),
                   [](const SettingsStore& s) { return s.snippets().empty(); }},
        Unreadable{"SnippetWithoutExpansion", "voiceSnippets", json(R"([{"phrase":"x"}])"),
                   [](const SettingsStore& s) { return s.snippets().empty(); }},
        Unreadable{"HoldTriggerWithoutFlag", "holdTrigger", json(R"({"modifiers":0,"display":"Fn"})"),
                   [](const SettingsStore& s) { return s.holdTrigger() == TriggerShortcut::function(); }},
        Unreadable{"PressTriggerNegativeKeyCode", "pressTrigger",
                   json(R"({"keyCode":-1,"modifiers":0,"display":"?","isFunctionKey":false})"),
                   [](const SettingsStore& s) { return s.pressTrigger() == TriggerShortcut::function(); }},
        Unreadable{"CloudModeUnknown", "openAICloudMode", std::string("Own key"),
                   [](const SettingsStore& s) { return s.openAICloudMode() == OpenAICloudMode::service; }},
        Unreadable{"StorageModeWrongKind", "storageMode", true,
                   [](const SettingsStore& s) { return s.storageMode() == StorageMode::local; }},
        Unreadable{"FrequencyLowerCase", "updateCheckFrequency", std::string("daily"),
                   [](const SettingsStore& s) { return s.updateCheckFrequency() == UpdateCheckFrequency::weekly; }},
        Unreadable{"FlagAsText", "autoPaste", std::string("true"),
                   [](const SettingsStore& s) { return !s.autoPaste(); }},
        Unreadable{"LanguageWrongKind", "speechLanguage", 42.0,
                   [](const SettingsStore& s) { return s.speechLanguageIdentifier() == "en_US"; }},
        Unreadable{"CheckDateAsText", "lastAutomaticUpdateCheckAt", std::string("2024-01-01"),
                   [](const SettingsStore& s) { return !s.lastAutomaticUpdateCheckAt(); }},
        Unreadable{"MicrophoneWrongKind", "microphoneUniqueID", std::vector<std::string>{"a"},
                   [](const SettingsStore& s) { return !s.microphoneUniqueID(); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsStoreTest, EveryPropertyRoundTrips) {
    SettingsStore& store = open();
    const Date checkedAt = dateFromReferenceSeconds(756'000'000.5);
    store.setSnippets({{"my address", "1 Main Street\nSpringfield"}});
    store.setTransformStyle(TransformStyle::professional);
    store.setBubbleVisible(false);
    store.setAutoPaste(false);
    store.setHoldTrigger(TriggerShortcut::modifierOnly(0x1800, "Ctrl+Opt"));
    store.setPressTrigger(TriggerShortcut::key({49, 0x1000, "Ctrl+Space"}));
    store.setSpeechModel(SpeechModel::openAICloud);
    store.setSpeechLanguageIdentifier("pt_BR");
    store.setOpenAICloudMode(OpenAICloudMode::apiKey);
    store.setMicrophoneUniqueID("alsa_input.usb-mic");
    store.setCleanupEnabled(false);
    store.setStorageMode(StorageMode::cloud);
    store.setUpdateCheckFrequency(UpdateCheckFrequency::never);
    store.setLastAutomaticUpdateCheckAt(checkedAt);
    store.setLastPromptedUpdateIdentifier("1.4.0");

    SettingsStore& again = open();
    EXPECT_EQ(again.snippets(), (std::vector<VoiceSnippet>{{"my address", "1 Main Street\nSpringfield"}}));
    EXPECT_EQ(again.transformStyle(), TransformStyle::professional);
    EXPECT_FALSE(again.bubbleVisible());
    EXPECT_FALSE(again.autoPaste());
    EXPECT_EQ(again.holdTrigger(), TriggerShortcut::modifierOnly(0x1800, "Ctrl+Opt"));
    EXPECT_EQ(again.pressTrigger(), TriggerShortcut::key({49, 0x1000, "Ctrl+Space"}));
    EXPECT_EQ(again.speechModel(), SpeechModel::openAICloud);
    EXPECT_EQ(again.speechLanguageIdentifier(), "pt_BR");
    EXPECT_EQ(again.openAICloudMode(), OpenAICloudMode::apiKey);
    EXPECT_EQ(again.microphoneUniqueID(), "alsa_input.usb-mic");
    EXPECT_FALSE(again.cleanupEnabled());
    EXPECT_EQ(again.storageMode(), StorageMode::cloud);
    EXPECT_EQ(again.updateCheckFrequency(), UpdateCheckFrequency::never);
    EXPECT_EQ(again.lastAutomaticUpdateCheckAt(), checkedAt);
    EXPECT_EQ(preferences.object("lastAutomaticUpdateCheckAt"), PreferenceValue(checkedAt));
    EXPECT_EQ(again.lastPromptedUpdateIdentifier(), "1.4.0");
}

TEST_F(SettingsStoreTest, EmptyOrAbsentOptionalValuesRemoveTheirKeys) {
    SettingsStore& store = open();
    store.setMicrophoneUniqueID("mic");
    store.setLastPromptedUpdateIdentifier("1.0");
    store.setLastAutomaticUpdateCheckAt(clock.now());

    store.setMicrophoneUniqueID("");
    store.setLastPromptedUpdateIdentifier(std::nullopt);
    store.setLastAutomaticUpdateCheckAt(std::nullopt);
    for (const char* key : {"microphoneUniqueID", "lastPromptedUpdateIdentifier", "lastAutomaticUpdateCheckAt"})
        EXPECT_FALSE(preferences.object(key).has_value()) << key;
}

TEST_F(SettingsStoreTest, ValuesThatCannotBeEncodedAreNotWritten) {
    SettingsStore& store = open();
    store.setSnippets({{"sig", "Best"}});
    store.setSnippets({{"bad", std::string("\xff\xfe")}});  // not UTF-8
    EXPECT_EQ(store.snippets(), (std::vector<VoiceSnippet>{{"sig", "Best"}}));
}

TEST_F(SettingsStoreTest, SetShortcutReplacesOneActionAndRepairsAnUnreadableSet) {
    SettingsStore& store = open();
    const KeyShortcut listKey{37, 0x0100, "Cmd+L"};
    storeJson("shortcuts", "not json");
    store.setShortcut(listKey, ShortcutAction::list);

    ShortcutSettings expected = ShortcutSettings::defaults();
    expected.set(listKey, ShortcutAction::list);
    EXPECT_EQ(store.shortcuts(), expected);
    EXPECT_EQ(nlohmann::json::parse(preferences.data("shortcuts")->bytes), nlohmann::json(expected));
}

TEST_F(SettingsStoreTest, ApiKeyIsTrimmedReplacedAndDeletedWhenBlank) {
    SettingsStore& store = open();
    EXPECT_FALSE(store.hasOpenAIAPIKey());

    store.setOpenAIAPIKey("  sk-first \n");
    EXPECT_EQ(store.openAIAPIKey(), "sk-first");
    store.setOpenAIAPIKey("sk-second");
    EXPECT_EQ(store.openAIAPIKey(), "sk-second");
    EXPECT_EQ(secrets.itemCount(), 1u);
    EXPECT_EQ(secrets.secret({"com.tavlo.app", "openai-api-key"}), "sk-second");
    EXPECT_TRUE(store.hasOpenAIAPIKey());

    store.setOpenAIAPIKey(" \t ");
    EXPECT_FALSE(store.hasOpenAIAPIKey());
    EXPECT_EQ(secrets.itemCount(), 0u);

    store.setOpenAIAPIKey("sk-third");
    store.setOpenAIAPIKey(std::nullopt);
    EXPECT_EQ(store.openAIAPIKey(), std::nullopt);
}

// A key with a line break inside would break every request header it is put
// in; it is refused, and the stored key stays.
TEST_F(SettingsStoreTest, SecretsWithControlCharactersInsideAreRefused) {
    SettingsStore& store = open();
    ASSERT_TRUE(store.setOpenAIAPIKey("sk-good"));
    ASSERT_TRUE(store.setServiceAccessToken("tok-good"));
    for (const std::string& bad : std::vector<std::string>{"sk-a\nsk-b", "sk-a\r\nX-Evil: 1", "sk-a\tb", std::string("sk\0x", 4), "sk\x7f",
                                  "sk\u0085x"}) {
        EXPECT_FALSE(SettingsStore::isStorableSecret(bad));
        EXPECT_FALSE(store.setOpenAIAPIKey(bad));
        EXPECT_FALSE(store.setServiceAccessToken(bad));
    }
    EXPECT_EQ(store.openAIAPIKey(), "sk-good");
    EXPECT_EQ(store.serviceAccessToken(), "tok-good");
    // Surrounding line breaks are trimmed as before; a deletion reports its outcome.
    EXPECT_TRUE(store.setOpenAIAPIKey("\n sk-new \r\n"));
    EXPECT_EQ(store.openAIAPIKey(), "sk-new");
    EXPECT_TRUE(store.setOpenAIAPIKey(std::nullopt));
    secrets.setFailing(true);
    EXPECT_FALSE(store.setServiceAccessToken(std::nullopt));
}

TEST_F(SettingsStoreTest, ServiceTokenIsItsOwnItem) {
    SettingsStore& store = open();
    store.setOpenAIAPIKey("sk-key");
    store.setServiceAccessToken(" token-1 ");
    EXPECT_EQ(store.serviceAccessToken(), "token-1");
    EXPECT_EQ(secrets.secret({"com.tavlo.app", "service-access-token"}), "token-1");
    EXPECT_EQ(store.openAIAPIKey(), "sk-key");
    store.setServiceAccessToken(std::nullopt);
    EXPECT_FALSE(store.hasServiceAccessToken());
    EXPECT_TRUE(store.hasOpenAIAPIKey());
}

TEST_F(SettingsStoreTest, SecretStoreFailuresLookLikeNoKey) {
    SettingsStore& store = open();
    store.setOpenAIAPIKey("sk-key");
    secrets.setFailing(true);
    EXPECT_EQ(store.openAIAPIKey(), std::nullopt);
    EXPECT_FALSE(store.hasOpenAIAPIKey());
    store.setOpenAIAPIKey("sk-other");  // quietly refused
    secrets.setFailing(false);
    EXPECT_EQ(store.openAIAPIKey(), "sk-key");
}

}  // namespace
}  // namespace tavlo::testing
