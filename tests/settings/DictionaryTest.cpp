// The dictionary of recognition hints: its write rule and the automatic
// learning of likely proper names.
#include "settings/SettingsStoreFixture.h"
#include "settings/TermLearning.h"

namespace tavlo::testing {
namespace {

using Words = std::vector<std::string>;

TEST_F(SettingsStoreTest, WritingTrimsDropsEmptyAndRepeatedEntriesKeepingOrder) {
    SettingsStore& store = open();
    store.setDictionaryWords({" Acme ", "", "Acme", "acme", "\tKubernetes\n", " ", "Kubernetes", "Zed"});
    EXPECT_EQ(store.dictionaryWords(), (Words{"Acme", "acme", "Kubernetes", "Zed"}));
    EXPECT_EQ(preferences.stringArray("dictionaryWords"), (Words{"Acme", "acme", "Kubernetes", "Zed"}));
}

TEST_F(SettingsStoreTest, ReadingGivesTheStoredListAsItIs) {
    SettingsStore& store = open();
    preferences.set("dictionaryWords", Words{" untrimmed ", "dup", "dup"});
    EXPECT_EQ(store.dictionaryWords(), (Words{" untrimmed ", "dup", "dup"}));
    preferences.set("dictionaryWords", std::string("not a list"));
    EXPECT_EQ(store.dictionaryWords(), Words{});
}

TEST_F(SettingsStoreTest, ADictionaryWithEntriesThatAreNotTextKeepsItsWords) {
    SettingsStore& store = open();
    storeJson("dictionaryWords", R"(["Acme", 5, {"w": 1}, "Zed"])");
    EXPECT_EQ(store.dictionaryWords(), (Words{"Acme", "Zed"}));
    store.learnLikelyTerms("Ask Kubernetes");
    EXPECT_EQ(store.dictionaryWords(), (Words{"Acme", "Zed", "Ask", "Kubernetes"}));
    ASSERT_EQ(preferences.keptAside().size(), 1u);
    EXPECT_EQ(preferences.keptAside()[0].second, PreferenceValue(BinaryData{R"(["Acme", 5, {"w": 1}, "Zed"])"}));
}

TEST_F(SettingsStoreTest, SnippetsAreReadEntryByEntry) {
    SettingsStore& store = open();
    storeJson("voiceSnippets", R"([{"phrase":"sig","expansion":"Best"},{"phrase":"x"},{"phrase":"a","expansion":"b"}])");
    EXPECT_EQ(store.snippets(), (std::vector<VoiceSnippet>{{"sig", "Best"}, {"a", "b"}}));
    EXPECT_TRUE(preferences.keptAside().empty());
    store.setSnippets({{"only", "one"}});
    EXPECT_EQ(preferences.keptAside().size(), 1u);
    // Records too: a damaged shortcut set is kept before it is replaced.
    storeJson("shortcuts", R"({"toggle": 1})");
    store.setShortcut(KeyShortcut{1, 2, "x"}, ShortcutAction::list);
    ASSERT_EQ(preferences.keptAside().size(), 2u);
    EXPECT_EQ(preferences.keptAside()[1].first, "shortcuts");
}

struct Sentence {
    const char* name;
    const char* text;
    Words terms;
};

class LikelyTerms : public ::testing::TestWithParam<Sentence> {};

TEST_P(LikelyTerms, WordsLongerThanTwoWithAnUpperCaseLetter) {
    EXPECT_EQ(likelyTerms(GetParam().text), GetParam().terms);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LikelyTerms,
    ::testing::Values(
        Sentence{"Products", "Ask Kubernetes about GPT-4 and the iOS app", {"Ask", "Kubernetes", "GPT-4", "iOS"}},
        Sentence{"TwoLettersAndLowerCase", "OK so we go", {}},
        Sentence{"NonLatinLetters", "Treffen in Zürich mit Ärzten und Ωmega", {"Treffen", "Zürich", "Ärzten", "Ωmega"}},
        // "e" followed by a combining acute accent is one character of the word.
        Sentence{"CombiningMark", "Cafe\xCC\x81 Noe\xCC\x88l", {"Cafe\xCC\x81", "Noe\xCC\x88l"}},
        Sentence{"SplitAtPunctuationNotHyphen", "Rust/WebAssembly, e-Mail's X-Ray", {"Rust", "WebAssembly", "e-Mail", "X-Ray"}},
        Sentence{"DigitsCountAsCharacters", "A1B and B2 and 3M", {"A1B"}},
        Sentence{"RepeatsAreKept", "Acme meets Acme", {"Acme", "Acme"}},
        Sentence{"UnderscoreSplits", "snake_Case", {"Case"}},
        Sentence{"Empty", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsStoreTest, LearningAppendsNewTermsAndLeavesKnownOnesInPlace) {
    SettingsStore& store = open();
    store.setDictionaryWords({"Kubernetes", "acme"});
    store.learnLikelyTerms("Ask Kubernetes about GPT-4 and the iOS app");
    EXPECT_EQ(store.dictionaryWords(), (Words{"Kubernetes", "acme", "Ask", "GPT-4", "iOS"}));

    const int writes = preferences.writeCount();
    store.learnLikelyTerms("nothing to learn here, OK");
    EXPECT_EQ(preferences.writeCount(), writes);
}

}  // namespace
}  // namespace tavlo::testing
