// Repolish of the selected text on the simulated desktop: the copy keystroke,
// the clipboard's change count, the rewrite, the history entry, the
// replacement through accessibility or the paste keystroke, and the clipboard
// given back when nothing was selected.
#include <gtest/gtest.h>

#include <chrono>

#include "app/core/DictationSessionFixture.h"
#include "text/TextPipeline.h"

namespace tavlo::testing {
namespace {

using namespace std::chrono_literals;
using Keystroke = SimKeyEventPoster::Keystroke;

class SelectionRepolish : public DictationSession {
public:
    // The copy keystroke puts `selection` on the clipboard, as the front
    // application would; nothing when it is absent (no selection).
    void selectionIs(std::optional<std::string> selection) {
        keyPoster->setOnPost([this, selection](const SimKeyEventPoster::Posted& posted) {
            if (posted.keystroke != Keystroke::copy || !selection) return;
            pasteboard->clearContents();
            pasteboard->setString(*selection);
        });
    }
    std::vector<Keystroke> keystrokes() const {
        std::vector<Keystroke> result;
        for (const auto& posted : keyPoster->posted()) result.push_back(posted.keystroke);
        return result;
    }
};

TEST(SelectionRepolishTest, TheSelectionIsRewrittenInPlace) {
    struct Case {
        const char* name;
        TransformStyle style;
        std::string selected;
        bool fieldWritable;
        std::optional<RunningApplication> frontmost;
        const char* historyName;
    };
    const std::string fillers = "um so I think we should uh ship it on Friday";
    const std::vector<Case> cases = {
        {"CleanThroughAccessibility", TransformStyle::clean, fillers, true, editor, "Text Editor"},
        {"FieldRefusesTheWrite", TransformStyle::clean, fillers, false, editor, "Text Editor"},
        {"ProfessionalWithoutAName", TransformStyle::professional, fillers, true,
         RunningApplication{100, "org.gnome.TextEditor", std::nullopt}, "Selected Text"},
        // Typed text: a cue phrase is content, not a correction.
        {"CuePhraseIsContent", TransformStyle::clean, "Meet Tuesday, scratch that, Wednesday", true, editor,
         "Text Editor"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SelectionRepolish t;
        t.workspace->setFrontmost(c.frontmost);
        const std::string expected =
            TextPipeline::process(c.selected, c.style, {}, TextPipeline::SelfCorrections::keepAsSpoken).text;
        ASSERT_FALSE(expected.empty());
        *t.editorField = SimTextField(100, "Note: " + c.selected, TextRange{6, static_cast<std::int64_t>(c.selected.size())});
        t.editorField->writable = c.fieldWritable;
        t.selectionIs(c.selected);
        t.pasteboard->setString("older clipboard");

        t.controller->repolishSelection(c.style);
        EXPECT_EQ(t.keystrokes(), std::vector<Keystroke>{Keystroke::copy});
        EXPECT_EQ(t.keyPoster->posted()[0].target, c.frontmost);
        t.advance(219ms);
        EXPECT_TRUE(t.store.recent().empty());
        t.advance(1ms);
        ASSERT_EQ(t.store.recent().size(), 1u);
        EXPECT_EQ(t.store.recent()[0].text, expected);
        EXPECT_EQ(t.store.recent()[0].appName, c.historyName);
        EXPECT_EQ(t.pasteboard->string(), expected);
        t.advance(119ms);
        EXPECT_EQ(t.editorField->value(), "Note: " + c.selected);
        t.advance(1ms);
        if (c.fieldWritable) {
            EXPECT_EQ(t.editorField->value(), "Note: " + expected);
            EXPECT_EQ(t.keystrokes(), std::vector<Keystroke>{Keystroke::copy});
        } else {
            EXPECT_EQ(t.keystrokes(), (std::vector<Keystroke>{Keystroke::copy, Keystroke::paste}));
        }
        EXPECT_EQ(t.pasteboard->string(), expected);
        if (std::string(c.name) == "CuePhraseIsContent") {
            EXPECT_NE(expected.find("Tuesday"), std::string::npos);
        }
    }
}

TEST(SelectionRepolishTest, NothingUsableCopiedLeavesEverythingAsItWas) {
    struct Case {
        const char* name;
        std::optional<std::string> previous;
        std::optional<std::string> selection;
        std::optional<std::string> clipboardAfter;
    };
    for (const Case& c : {Case{"NoSelection", "keep me", std::nullopt, "keep me"},
                          Case{"BlankSelection", "keep me", " \n ", "keep me"},
                          // Only a previous text is put back.
                          Case{"BlankOverNothing", std::nullopt, " \n ", " \n "},
                          Case{"CancelCommand", "keep me", "cancel", "cancel"}}) {
        SCOPED_TRACE(c.name);
        SelectionRepolish t;
        if (c.previous) t.pasteboard->setString(*c.previous);
        t.selectionIs(c.selection);
        t.controller->repolishSelection(TransformStyle::clean);
        t.advance(1s);
        EXPECT_EQ(t.pasteboard->string(), c.clipboardAfter);
        EXPECT_TRUE(t.store.recent().empty());
        EXPECT_EQ(t.editorField->value(), "Dear Ann, ");
        EXPECT_EQ(t.keystrokes(), std::vector<Keystroke>{Keystroke::copy});
    }
}

TEST_F(SelectionRepolish, WithoutAccessibilityNothingIsCopiedAndTheHintComesOnce) {
    accessibility->trusted = false;
    selectionIs("um hello");
    controller->repolishSelection(TransformStyle::clean);
    controller->repolishSelection(TransformStyle::casual);
    advance(1s);
    EXPECT_TRUE(keyPoster->posted().empty());
    EXPECT_EQ(accessibility->prompts, 1);
    EXPECT_TRUE(store.recent().empty());
}

}  // namespace
}  // namespace tavlo::testing
