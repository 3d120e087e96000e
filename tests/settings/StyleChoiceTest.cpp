// The style for a target application.
#include "settings/SettingsStoreFixture.h"

namespace tavlo::testing {
namespace {

using Name = std::optional<std::string_view>;

struct Target {
    const char* name;
    Name bundleIdentifier;
    Name appName;
    TransformStyle expected;  // with the stored default List
};

class StyleChoice : public SettingsStoreTest, public ::testing::WithParamInterface<Target> {};

TEST_P(StyleChoice, MailIsProfessionalChatIsCasualElseTheDefault) {
    SettingsStore& store = open();
    store.setTransformStyle(TransformStyle::list);
    EXPECT_EQ(store.style(GetParam().bundleIdentifier, GetParam().appName), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, StyleChoice,
    ::testing::Values(
        Target{"MailBundle", "com.apple.mail", std::nullopt, TransformStyle::professional},
        Target{"SlackName", std::nullopt, "Slack", TransformStyle::casual},
        Target{"NeitherPresent", std::nullopt, std::nullopt, TransformStyle::list},
        Target{"OutlookUpperCase", "com.microsoft.OUTLOOK", "Microsoft Outlook", TransformStyle::professional},
        Target{"MailWinsOverChat", "org.example.slack", "Thunderbird Mail", TransformStyle::professional},
        Target{"MessagesInName", "org.gnome.Chat", "Messages", TransformStyle::casual},
        Target{"DiscordBundle", "com.discordapp.Discord", "Discord", TransformStyle::casual},
        Target{"SubstringAnywhere", "org.example.emailer", std::nullopt, TransformStyle::professional},
        Target{"NonAsciiUpperCase", std::nullopt, "GMAİL", TransformStyle::list},
        Target{"Editor", "org.gnome.TextEditor", "Text Editor", TransformStyle::list}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsStoreTest, DefaultStyleIsCleanWhenTheStoredOneIsUnreadable) {
    SettingsStore& store = open();
    preferences.set("transformStyle", std::string("verbatim"));
    EXPECT_EQ(store.style(std::nullopt, "Terminal"), TransformStyle::clean);
    preferences.set("transformStyle", std::string("Verbatim"));
    EXPECT_EQ(store.style(std::nullopt, "Terminal"), TransformStyle::verbatim);
    preferences.remove("transformStyle");
    EXPECT_EQ(store.style(std::nullopt, "Terminal"), TransformStyle::clean);
}

}  // namespace
}  // namespace tavlo::testing
