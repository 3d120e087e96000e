// Consecutive dictations pasted into the same field are kept apart by a
// space, and only when the caret is known to sit right after the previous
// one: read from the field where accessibility can, otherwise remembered and
// forgotten at the first sign that the caret may have moved.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "app/core/DictationSessionFixture.h"
#include "app/core/DictationSpacing.h"
#include "app/core/Utf16Range.h"

namespace tavlo::testing {
namespace {

using namespace std::chrono_literals;
using Keystroke = SimKeyEventPoster::Keystroke;

TEST(DictationSpacingWords, ASpaceOnlyBetweenAWordOrSentenceEndAndAWord) {
    struct Case {
        const char* before;
        const char* next;
        bool space;
    };
    const Case cases[] = {
        {"the roadmap.", "All good!", true},
        {"Is it done?", "Yes.", true},
        {"Dear Ann", "Thanks.", true},
        {"see (below)", "Then", true},
        {"say \u201Chello\u201D", "Then", true},
        {"Wait\u2026", "now", true},
        {"3 apples", "42 pears", true},
        {"Grüße", "Über", true},
        {"the roadmap. ", "All good!", false},   // a space is already there
        {"first line\n", "Second", false},     // a new line
        {"the roadmap.", " All good!", false},   // the text brings its own
        {"the roadmap.", "\u201CThanks\u201D", false},  // opening punctuation
        {"list:", "- item", false},
        {"(", "Thanks", false},
        {"", "Thanks", false},                 // nothing before
        {"the roadmap.", "", false},
        {"\u4ECA\u65E5\u306F\u3002", "\u660E\u65E5", false},  // Japanese: no spaces
        {"\u5B8C\u6210", "Next", false},
        {"done", "\u660E\u65E5", false},
        {"bad\xff", "Next", false},            // not UTF-8 at the end
    };
    for (const Case& c : cases)
        EXPECT_EQ(needsSpaceBetween(c.before, c.next), c.space) << '"' << c.before << "\" + \"" << c.next << '"';
}

TEST(DictationSpacingWords, TheTextBeforeTheCaretCountsInUtf16Units) {
    EXPECT_EQ(textBeforeCaret("Grüße 😀 und", TextRange{8, 0}), "Grüße 😀");
    EXPECT_EQ(textBeforeCaret("abc", TextRange{1, 2}), "a");  // a selection: its start
    EXPECT_EQ(textBeforeCaret("abc", TextRange{0, 0}), "");
    EXPECT_EQ(textBeforeCaret("abc", TextRange{3, 0}), "abc");
    EXPECT_EQ(textBeforeCaret("abc", TextRange{4, 0}), std::nullopt);
}

class DictationSpacing : public DictationSession {
public:
    DictationSpacing() {
        store.setAutoPaste(true);
        hotKeyManager->delegate = controller;
        controller->installTriggerMonitors();
        // The focused field takes the clipboard when the paste keystroke comes.
        keyPoster->setOnPost([this](const SimKeyEventPoster::Posted& posted) {
            const auto field = std::dynamic_pointer_cast<SimTextField>(accessibility->focused);
            if (posted.keystroke != Keystroke::paste || !field) return;
            const std::string value = field->value().value_or("");
            const TextRange range = field->selectedTextRange().value_or(TextRange{utf16Length(value), 0});
            const std::string clip = pasteboard->string().value_or("");
            field->setValue(replacingUtf16Range(value, range, clip).value_or(value));
            field->setSelectedTextRange({range.location + utf16Length(clip), 0});
        });
    }

    // One dictation from start to the end of its delivery; the text pasted.
    std::string dictate(const std::string& words) {
        const std::size_t before = keyPoster->posted().size();
        startListening();
        hear(words);
        controller->stopDictation();
        recognition()->sendFinal(words);
        run();
        advance(2s);
        EXPECT_GT(keyPoster->posted().size(), before) << "no paste keystroke";
        return pasteboard->string().value_or("<nothing>");
    }
};

TEST_F(DictationSpacing, TheSecondDictationIntoTheSameFieldIsSpacedOnlyWhenTheCaretStayedAfterTheFirst) {
    struct Case {
        const char* name;
        bool readableField;
        std::function<void(DictationSpacing&)> between;
        std::string second;  // what is pasted the second time
        std::string field;   // the readable field's text at the end
    };
    auto nothing = [](DictationSpacing&) {};
    const Case cases[] = {
        {"readable field, caret unmoved", true, nothing, " All good!", "Dear Ann, The roadmap. All good!"},
        {"readable field, caret moved to the start", true,
         [](auto& t) { t.editorField->setSelectedTextRange({0, 0}); }, "All good!", "All good!Dear Ann, The roadmap."},
        {"readable field, the user typed a space", true,
         [](auto& t) {
             t.editorField->setValue("Dear Ann, The roadmap. ");
             t.editorField->setSelectedTextRange({23, 0});
         },
         "All good!", "Dear Ann, The roadmap. All good!"},
        {"readable field, another application's field now", true,
         [](auto& t) {
             t.workspace->activate(mail);
             t.accessibility->focused = std::make_shared<SimTextField>(200, "Hi", TextRange{2, 0});
         },
         "All good!", "Dear Ann, The roadmap."},
        {"unreadable field, nothing happened", false, nothing, " All good!", ""},
        {"unreadable field, a key typed", false, [](auto& t) { t.keys->key(0, 0, true); }, "All good!", ""},
        {"unreadable field, only a modifier pressed", false,
         [](auto& t) {
             t.keys->key(56, CarbonModifier::shift, true);  // Shift alone moves nothing
             t.keys->key(56, 0, false);
         },
         " All good!", ""},
        {"unreadable field, away to another application and back", false,
         [](auto& t) {
             t.workspace->activate(mail);
             t.workspace->activate(editor);
         },
         "All good!", ""},
        {"unreadable field, long after", false, [](auto& t) { t.advance(3min); }, "All good!", ""},
        {"unreadable field, another application's turn", false, [](auto& t) { t.workspace->activate(mail); },
         "All good!", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DictationSpacing t;
        if (!c.readableField) t.accessibility->focused = nullptr;
        EXPECT_EQ(t.dictate("the roadmap"), "The roadmap.");
        c.between(t);
        t.run();
        EXPECT_EQ(t.dictate("all good!"), c.second);
        if (c.readableField) EXPECT_EQ(t.editorField->value(), c.field);
        // The history keeps the words as said, without the space.
        ASSERT_EQ(t.store.recent().size(), 2u);
        EXPECT_EQ(t.store.recent()[0].text, "All good!");
    }
}

TEST_F(DictationSpacing, NoSpaceAfterALineEndedWithReturnOrAfterTextOnlyCopied) {
    accessibility->focused = nullptr;
    EXPECT_EQ(dictate("the roadmap press enter"), "The roadmap.");
    advance(1s);  // the Return key goes out after the paste
    EXPECT_EQ(dictate("all good!"), "All good!");

    // A paste that only reached the clipboard leaves nothing before the caret.
    keyPoster->setPermitted(false);
    startListening();
    hear("again");
    controller->stopDictation();
    recognition()->sendFinal("again");
    run();
    advance(2s);
    keyPoster->setPermitted(true);
    EXPECT_EQ(dictate("all good!"), "All good!");
}

}  // namespace
}  // namespace tavlo::testing
