// Dictionary and snippet edits, written to the store at once.
#include "HubTestSupport.h"

namespace tavlo::testing {
namespace {

class DictionaryTest : public HubModelTest {
protected:
    DictionaryViewModel& dictionary() { return hub->dictionary(); }
    SnippetsViewModel& snippets() { return hub->snippets(); }
};

using Words = std::vector<std::string>;

TEST(DictionaryLines, CleanedLinesTrimAndDropEmptyLinesAndThePlaceholder) {
    const std::vector<std::pair<std::string, Words>> cases{
        {"Foo\n\n  Bar  \nFoo", {"Foo", "Bar", "Foo"}},
        {"No dictionary terms yet.", {}},
        {"  No dictionary terms yet.  \nKubernetes", {"Kubernetes"}},
        {"a\r\nb\rc\u2028d\u2029e\u0085f", {"a", "b", "c", "d", "e", "f"}},
        {"", {}},
        {"\t\n \n", {}},
    };
    for (const auto& [text, lines] : cases) EXPECT_EQ(DictionaryViewModel::cleanedLines(text), lines) << text;
}

TEST_F(DictionaryTest, AddingATermTrimsItAndAsksToEmptyTheField) {
    EXPECT_TRUE(dictionary().addWord("  Kubernetes \n"));
    EXPECT_EQ(store.dictionaryWords(), (Words{"Kubernetes"}));
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"refresh"}));
    EXPECT_TRUE(dictionary().addWord("OAuth"));
    EXPECT_EQ(dictionary().text(), "Kubernetes\nOAuth");

    EXPECT_FALSE(dictionary().addWord(" \t "));
    EXPECT_EQ(store.dictionaryWords(), (Words{"Kubernetes", "OAuth"}));
    EXPECT_EQ(feedback->beeps, 0);
}

TEST_F(DictionaryTest, SavingEditsStoresTheCleanedLinesWithoutRepeats) {
    dictionary().saveEdits("Foo\n\n  Bar  \nFoo");
    EXPECT_EQ(store.dictionaryWords(), (Words{"Foo", "Bar"}));
    EXPECT_EQ(dictionary().text(), "Foo\nBar");
}

struct DeleteLineCase {
    const char* name;
    std::string text;
    std::size_t cursor;  // UTF-16 units
    Words stored;
    std::size_t newCursor;
};

TEST_F(DictionaryTest, DeleteRemovesTheLineAtTheCursorAndStoresTheRest) {
    const std::vector<DeleteLineCase> cases{
        {"second of three", "Alpha\nBeta\nGamma", 8, {"Alpha", "Gamma"}, 8},
        {"at the start of the second line", "Alpha\nBeta\nGamma", 6, {"Alpha", "Gamma"}, 6},
        {"at the end of the first line", "Alpha\nBeta\nGamma", 5, {"Beta", "Gamma"}, 5},
        {"last line, cursor at the end", "Alpha\nBeta\nGamma", 16, {"Alpha", "Beta"}, 10},
        {"cursor beyond the text is clamped", "Alpha\nBeta", 99, {"Alpha"}, 5},
        {"after a final line break nothing is removed", "Alpha\n", 6, {"Alpha"}, 5},
        {"unsaved edits elsewhere are stored too", "Alpha\nBeta\n  New term ", 0, {"Beta", "New term"}, 0},
        {"positions count UTF-16 units", "\U0001F600a\nb\nc", 4, {"\U0001F600a", "c"}, 4},
        {"CR LF is one line break", "Alpha\r\nBeta\r\nGamma", 7, {"Alpha", "Gamma"}, 7},
    };
    for (const DeleteLineCase& c : cases) {
        SCOPED_TRACE(c.name);
        store.setDictionaryWords({"stale"});
        EXPECT_EQ(dictionary().deleteLine(c.text, c.cursor), c.newCursor);
        EXPECT_EQ(store.dictionaryWords(), c.stored);
    }
}

TEST_F(DictionaryTest, DeleteInAnEmptyTextDoesNothing) {
    store.setDictionaryWords({"Keep"});
    takeEvents();
    EXPECT_EQ(dictionary().deleteLine("", 0), std::nullopt);
    EXPECT_EQ(store.dictionaryWords(), (Words{"Keep"}));
    EXPECT_TRUE(takeEvents().empty());
}

TEST_F(DictionaryTest, ClearEmptiesTheList) {
    store.setDictionaryWords({"a", "b"});
    dictionary().clear();
    EXPECT_TRUE(store.dictionaryWords().empty());
    EXPECT_EQ(dictionary().text(), "");
}

TEST_F(DictionaryTest, SnippetsAreListedAsPhraseArrowExpansion) {
    EXPECT_EQ(SnippetsViewModel::listText({{"sig", "Best,\nMe"}, {"addr", "Main St 1"}}),
              "\"sig\" -> Best,\nMe\n\n\"addr\" -> Main St 1");
    EXPECT_EQ(SnippetsViewModel::listText({}), "");
}

TEST_F(DictionaryTest, AddingASnippetTrimsBothFieldsAndKeepsEarlierOnes) {
    store.setSnippets({});
    struct Case {
        const char* phrase;
        const char* expansion;
        bool added;
    };
    const std::vector<Case> cases{
        {"sign off", "", false},
        {"  ", "text", false},
        {" sign off ", "\n\nCheers,\nSam\n", true},
        {"sign off", "Bye", true},
    };
    for (const Case& c : cases) EXPECT_EQ(snippets().addSnippet(c.phrase, c.expansion), c.added) << c.phrase;
    EXPECT_EQ(store.snippets(), (std::vector<VoiceSnippet>{{"sign off", "Cheers,\nSam"}, {"sign off", "Bye"}}));
    EXPECT_EQ(snippets().text(), "\"sign off\" -> Cheers,\nSam\n\n\"sign off\" -> Bye");
}

TEST_F(DictionaryTest, ResetRestoresTheDefaultSnippets) {
    store.setSnippets({{"x", "y"}});
    takeEvents();
    snippets().reset();
    EXPECT_EQ(store.snippets(), VoiceSnippet::defaults());
    EXPECT_EQ(snippets().text(), SnippetsViewModel::listText(VoiceSnippet::defaults()));
    EXPECT_EQ(takeEvents(), (std::vector<std::string>{"refresh"}));
}

}  // namespace
}  // namespace tavlo::testing
