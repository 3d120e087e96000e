// The speech languages offered on Home.
#include <set>

#include "HubTestSupport.h"
#include "hub/model/LanguageOptions.h"

namespace tavlo::testing {
namespace {

TEST(LanguageOptions, FixedListHoldsEnglishVariantsThenWhisperLanguagesEachOnce) {
    const auto fixed = fixedLanguageCandidates();
    ASSERT_EQ(fixed.size(), 107u);  // 109 candidates with the draft's language and the user's locale
    EXPECT_EQ(fixed.front(), "en_GB");
    EXPECT_EQ(fixed[8], "zh");
    EXPECT_EQ(fixed.back(), "yue");
    const std::set<std::string_view> distinct(fixed.begin(), fixed.end());
    EXPECT_EQ(distinct.size(), fixed.size());
    EXPECT_FALSE(distinct.contains(""));
}

TEST(LanguageOptions, DraftLanguageFirstThenUserLocaleThenByNameWithoutRepeats) {
    struct Case {
        const char* draft;
        const char* locale;
        std::vector<std::string> firstIdentifiers;
        std::size_t count;
    };
    const std::vector<Case> cases{
        {"en_US", "en_US", {"en_US", "af", "sq", "am", "ar"}, 107},
        // Sorted by the German names: Afrikaans, Albanisch, Amharisch.
        {"de_CH", "de_DE", {"de_CH", "de_DE", "af", "sq", "am"}, 109},
        {"de", "de", {"de", "af", "sq"}, 107},
        // The French names: afrikaans, albanais, allemand.
        {"x-unknown", "fr_FR", {"x-unknown", "fr_FR", "af", "sq", "de"}, 109},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.draft);
        const auto options = languageOptions(c.draft, c.locale);
        EXPECT_EQ(options.size(), c.count);
        for (std::size_t i = 0; i < c.firstIdentifiers.size(); ++i) EXPECT_EQ(options[i].identifier, c.firstIdentifiers[i]);
        std::set<std::string> identifiers;
        for (const auto& option : options) EXPECT_TRUE(identifiers.insert(option.identifier).second) << option.identifier;
    }
}

TEST(LanguageOptions, TitlesAreInTheUserLanguageOrTheIdentifier) {
    EXPECT_EQ(languageDisplayName("en_GB", "en_US"), "English (United Kingdom)");
    EXPECT_EQ(languageDisplayName("de", "en_US"), "German");
    EXPECT_EQ(languageDisplayName("de", "de_DE"), "Deutsch");
    EXPECT_EQ(languageDisplayName("fr_FR", "de_DE"), "Französisch (Frankreich)");
    EXPECT_EQ(languageDisplayName("", "en_US"), "");
}

using HomeLanguages = HubModelTest;

TEST_F(HomeLanguages, PopupSelectsTheDraftLanguageEvenWhenItIsNotInTheList) {
    home().languageSelected("tlh");
    const Popup popup = home().languagePopup();
    EXPECT_EQ(popup.selectedIndex, 0u);
    EXPECT_EQ(popup.items[0].value, "tlh");
    EXPECT_EQ(popup.items[1].value, "en_US");
    EXPECT_EQ(popup.items[2].title, "Afrikaans");
    EXPECT_EQ(popup.items.size(), 108u);
}

}  // namespace
}  // namespace tavlo::testing
