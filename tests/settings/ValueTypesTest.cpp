// Stored forms of the shared value types: raw values, JSON shapes and the
// shortcut display rule. A mistake here silently changes what a saved setting
// means, so the stored forms are pinned exactly.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "base/Enums.h"
#include "base/Records.h"
#include "settings/ShortcutDisplay.h"

namespace tavlo {
namespace {

using nlohmann::json;

TEST(EnumerationRawValues, RoundTripInDeclarationOrder) {
    auto names = [](auto cases) {
        std::vector<std::string> out;
        for (auto value : cases) out.emplace_back(rawValue(value));
        return out;
    };
    EXPECT_EQ(names(allCases<TransformStyle>()),
              (std::vector<std::string>{"Verbatim", "Clean", "Professional", "Casual", "List"}));
    EXPECT_EQ(names(allCases<SpeechModel>()),
              (std::vector<std::string>{"Apple on-device", "Local Whisper", "OpenAI cloud"}));
    EXPECT_EQ(names(allCases<OpenAICloudMode>()),
              (std::vector<std::string>{"Tavlo service", "Own OpenAI key"}));
    EXPECT_EQ(names(allCases<StorageMode>()), (std::vector<std::string>{"Local", "Cloud"}));
    EXPECT_EQ(names(allCases<UpdateCheckFrequency>()),
              (std::vector<std::string>{"Daily", "Weekly", "Monthly", "Never"}));
    EXPECT_EQ(names(allCases<ShortcutAction>()),
              (std::vector<std::string>{"toggle", "professional", "casual", "list", "clean"}));

    for (auto style : allCases<TransformStyle>())
        EXPECT_EQ(fromRawValue<TransformStyle>(rawValue(style)), style);
}

TEST(EnumerationRawValues, ConstructionIsExactAndCaseSensitive) {
    EXPECT_EQ(fromRawValue<TransformStyle>("Verbatim"), TransformStyle::verbatim);
    EXPECT_FALSE(fromRawValue<TransformStyle>("verbatim"));
    EXPECT_FALSE(fromRawValue<TransformStyle>("Verbatim "));
    EXPECT_FALSE(fromRawValue<TransformStyle>(""));
    EXPECT_EQ(fromRawValue<ShortcutAction>("toggle"), ShortcutAction::toggle);
    EXPECT_FALSE(fromRawValue<ShortcutAction>("Toggle"));
    EXPECT_EQ(fromRawValue<OpenAICloudMode>("Own OpenAI key"), OpenAICloudMode::apiKey);
}

TEST(EnumerationDerivedProperties, IntervalsAndTitles) {
    EXPECT_EQ(interval(UpdateCheckFrequency::daily), 86400);
    EXPECT_EQ(interval(UpdateCheckFrequency::weekly), 604800);
    EXPECT_EQ(interval(UpdateCheckFrequency::monthly), 2592000);
    EXPECT_FALSE(interval(UpdateCheckFrequency::never));
    EXPECT_EQ(title(ShortcutAction::toggle), "Hands-free toggle");
    EXPECT_EQ(title(ShortcutAction::clean), "Clean rewrite");
}

TEST(EnumerationJson, WrittenAsRawValueAndUnknownRejected) {
    EXPECT_EQ(json(SpeechModel::localWhisper), json("Local Whisper"));
    EXPECT_EQ(json("List").get<TransformStyle>(), TransformStyle::list);
    EXPECT_THROW(json("list").get<TransformStyle>(), json::exception);
    EXPECT_THROW(json(3).get<TransformStyle>(), json::exception);
}

TEST(TriggerShortcutShapes, DerivedProperties) {
    const auto function = TriggerShortcut::function();
    EXPECT_FALSE(function.keyCode);
    EXPECT_EQ(function.display, "Fn");
    EXPECT_TRUE(function.isFunctionKey);
    EXPECT_FALSE(function.keyShortcut());
    EXPECT_FALSE(function.isModifierOnly());

    const auto modifiers = TriggerShortcut::modifierOnly(0x1800, "Ctrl+Opt");
    EXPECT_TRUE(modifiers.isModifierOnly());
    EXPECT_FALSE(modifiers.keyShortcut());

    // No key, no modifiers and not Fn: nothing at all, so not modifier-only either.
    EXPECT_FALSE((TriggerShortcut{std::nullopt, 0, "", false}.isModifierOnly()));

    const KeyShortcut space{49, 0x1800, "Ctrl+Opt+Space"};
    const auto key = TriggerShortcut::key(space);
    EXPECT_EQ(key.keyShortcut(), space);
    EXPECT_FALSE(key.isModifierOnly());
    // A function-key flag wins over a stray key code.
    EXPECT_FALSE((TriggerShortcut{49, 0, "Fn", true}.keyShortcut()));
}

TEST(TriggerShortcutJson, FunctionKeyOmitsKeyCodeAndRoundTrips) {
    const json written = TriggerShortcut::function();
    EXPECT_EQ(written, json::parse(R"({"modifiers":0,"display":"Fn","isFunctionKey":true})"));
    EXPECT_FALSE(written.contains("keyCode"));
    EXPECT_EQ(written.get<TriggerShortcut>(), TriggerShortcut::function());

    const auto key = TriggerShortcut::key({40, 0x0300, "Shift+Cmd+K"});
    EXPECT_EQ(json(key).get<TriggerShortcut>(), key);
    EXPECT_EQ(json(key)["keyCode"], 40);
}

struct Rejection {
    const char* name;
    const char* document;
};

class RecordRejection : public ::testing::TestWithParam<Rejection> {};

TEST_P(RecordRejection, CannotBeRead) {
    const auto document = json::parse(GetParam().document);
    const std::string name = GetParam().name;
    if (name.starts_with("trigger")) {
        EXPECT_THROW(document.get<TriggerShortcut>(), json::exception);
    } else if (name.starts_with("key")) {
        EXPECT_THROW(document.get<KeyShortcut>(), json::exception);
    } else if (name.starts_with("settings")) {
        EXPECT_THROW(document.get<ShortcutSettings>(), json::exception);
    } else if (name.starts_with("snippet")) {
        EXPECT_THROW(document.get<VoiceSnippet>(), json::exception);
    } else {
        EXPECT_THROW(document.get<RecentDictation>(), json::exception);
    }
}

INSTANTIATE_TEST_SUITE_P(
    MissingOrDamagedKeys, RecordRejection,
    ::testing::Values(
        Rejection{"triggerWithoutIsFunctionKey", R"({"modifiers":0,"display":"Fn"})"},
        Rejection{"triggerWithoutDisplay", R"({"modifiers":0,"isFunctionKey":true})"},
        Rejection{"triggerWithNegativeKeyCode", R"({"keyCode":-1,"modifiers":0,"display":"x","isFunctionKey":false})"},
        Rejection{"triggerAsArray", R"([1,2])"},
        Rejection{"keyWithoutDisplay", R"({"keyCode":49,"modifiers":0})"},
        Rejection{"keyWithTooLargeCode", R"({"keyCode":4294967296,"modifiers":0,"display":"x"})"},
        Rejection{"keyWithFractionalMask", R"({"keyCode":49,"modifiers":1.5,"display":"x"})"},
        Rejection{"keyWithStringCode", R"({"keyCode":"49","modifiers":0,"display":"x"})"},
        Rejection{"settingsWithoutClean",
                  R"({"toggle":{"keyCode":49,"modifiers":6144,"display":"a"},
                      "professional":{"keyCode":19,"modifiers":2048,"display":"b"},
                      "casual":{"keyCode":20,"modifiers":2048,"display":"c"},
                      "list":{"keyCode":21,"modifiers":2048,"display":"d"}})"},
        Rejection{"snippetWithoutExpansion", R"({"phrase":"hi"})"},
        Rejection{"snippetWithNumberPhrase", R"({"phrase":1,"expansion":"x"})"},
        Rejection{"recentWithStringDate", R"({"date":"2024-01-01","appName":"a","text":"b"})"},
        Rejection{"recentWithoutText", R"({"date":1.0,"appName":"a"})"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RecordJson, ShapesAndRoundTrips) {
    EXPECT_EQ(json(VoiceSnippet{"a", "b\nc"}), json::parse(R"({"phrase":"a","expansion":"b\nc"})"));

    const json settings = ShortcutSettings::defaults();
    EXPECT_EQ(settings["toggle"], json::parse(R"({"keyCode":49,"modifiers":6144,"display":"Ctrl+Alt+Space"})"));
    EXPECT_EQ(settings.get<ShortcutSettings>(), ShortcutSettings::defaults());

    EXPECT_EQ(json(ProcessedText{"hi", true, false}),
              json::parse(R"({"text":"hi","shouldPressEnter":true,"cancelled":false})"));
}

TEST(RecordJson, DatesAreSecondsSince2001) {
    // 2024-01-01 00:00:00 UTC is 1704067200 Unix seconds.
    const RecentDictation entry{Date{std::chrono::seconds(1704067200)}, "Mail", "hi"};
    const json written = entry;
    EXPECT_DOUBLE_EQ(written["date"].get<double>(), 1704067200.0 - 978307200.0);
    EXPECT_EQ(written.get<RecentDictation>(), entry);

    // Fractions of a second survive, and a huge stored number cannot overflow the clock.
    const auto fractional = json::parse(R"({"date":12.25,"appName":"a","text":"b"})").get<RecentDictation>();
    EXPECT_DOUBLE_EQ(secondsSinceReferenceDate(fractional.date), 12.25);
    const auto recent = json::parse(R"({"date":756000000.25,"appName":"a","text":"b"})").get<RecentDictation>();
    EXPECT_EQ(json(recent)["date"].dump(), "756000000.25");
    EXPECT_NO_THROW(json::parse(R"({"date":1e300,"appName":"a","text":"b"})").get<RecentDictation>());
}

TEST(ShortcutSettingsAccess, DefaultsAndReplacement) {
    auto settings = ShortcutSettings::defaults();
    EXPECT_EQ(settings.shortcut(ShortcutAction::toggle), (KeyShortcut{49, 0x1800, "Ctrl+Alt+Space"}));
    EXPECT_EQ(settings.shortcut(ShortcutAction::clean), (KeyShortcut{23, 0x0800, "Alt+5"}));
    settings.set(KeyShortcut::make(40, 0x0300, "Shift+Cmd+K"), ShortcutAction::list);
    EXPECT_EQ(settings.list.keyCode, 40u);
    EXPECT_EQ(settings.casual, ShortcutSettings::defaults().casual);
}

TEST(SnippetDefaults, ThreeInOrder) {
    const auto& defaults = VoiceSnippet::defaults();
    ASSERT_EQ(defaults.size(), 3u);
    EXPECT_EQ(defaults[0], (VoiceSnippet{"insert signature", "Best,\n[Your name]"}));
    EXPECT_EQ(defaults[1].expansion, "Yesterday:\n- \n\nToday:\n- \n\nBlocked:\n- None");
    EXPECT_EQ(defaults[2].phrase, "shipping note");
}

TEST(KeyEventConversion, ModifierMasks) {
    using namespace EventModifierFlag;
    EXPECT_EQ(carbonModifiers(0), 0u);
    EXPECT_EQ(carbonModifiers(command), 0x0100u);
    EXPECT_EQ(carbonModifiers(shift | option), 0x0A00u);
    EXPECT_EQ(carbonModifiers(control | option | shift | command), 0x1B00u);
    // Caps lock (0x10000) and device bits are ignored.
    EXPECT_EQ(carbonModifiers(0x10000 | 0x100 | control), 0x1000u);
}

TEST(KeyEventConversion, KeyNames) {
    struct Case { std::uint16_t code; const char* name; };
    for (const auto& c : std::initializer_list<Case>{
             {49, "Space"}, {36, "Return"}, {53, "Escape"}, {48, "Tab"}, {29, "0"}, {25, "9"},
             {0, "A"}, {46, "M"}, {45, "N"}, {6, "Z"}, {122, "Key 122"}, {65535, "Key 65535"}})
        EXPECT_EQ(keyName(c.code), c.name) << c.code;
}

TEST(KeyEventConversion, DisplayRuleHasFixedModifierOrder) {
    using namespace EventModifierFlag;
    EXPECT_EQ(shortcutDisplay(49, control | option), "Ctrl+Alt+Space");
    EXPECT_EQ(shortcutDisplay(40, command | shift), "Shift+Super+K");
    EXPECT_EQ(shortcutDisplay(23, command | shift | option), "Alt+Shift+Super+5");
    EXPECT_EQ(shortcutDisplay(0, 0), "A");
    EXPECT_EQ(modifierDisplay(option | control), "Ctrl+Alt");
}

}  // namespace
}  // namespace tavlo
