// Delivery of a finished text into the target application on the simulated
// desktop: the outcomes and their indications and log lines, the activation
// retries and the other timings on the virtual clock, the target choice,
// direct insertion through accessibility and the Return key.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "app/core/DictationSessionFixture.h"
#include "app/core/Utf16Range.h"

namespace tavlo::testing {
namespace {

using namespace std::chrono_literals;
using Keystroke = SimKeyEventPoster::Keystroke;

// A field that says yes to every write and keeps its value anyway.
class DeafField final : public AccessibilityElement {
public:
    std::optional<int> processIdentifier() const override { return 100; }
    std::optional<std::string> value() const override { return "Dear Ann, "; }
    std::optional<TextRange> selectedTextRange() const override { return TextRange{10, 0}; }
    bool setValue(std::string_view) override { return true; }
    bool setSelectedTextRange(TextRange) override { return true; }
};

// A field whose write lands although the call reports a failure (the reply
// timed out).
class LateField final : public AccessibilityElement {
public:
    std::optional<int> processIdentifier() const override { return 100; }
    std::optional<std::string> value() const override { return value_; }
    std::optional<TextRange> selectedTextRange() const override { return TextRange{10, 0}; }
    bool setValue(std::string_view value) override {
        value_ = std::string(value);
        return false;
    }
    bool setSelectedTextRange(TextRange) override { return false; }

private:
    std::string value_ = "Dear Ann, ";
};

class OutputDelivery : public DictationSession {
public:
    // The focused field of `field` takes the clipboard when the paste
    // keystroke arrives, as a text field does.
    void pasteLandsIn(std::shared_ptr<SimTextField> field) {
        keyPoster->setOnPost([this, field](const SimKeyEventPoster::Posted& posted) {
            if (posted.keystroke != Keystroke::paste) return;
            const std::string value = field->value().value_or("");
            const TextRange range = field->selectedTextRange().value_or(TextRange{utf16Length(value), 0});
            const std::string clip = pasteboard->string().value_or("");
            field->setValue(replacingUtf16Range(value, range, clip).value_or(value));
            field->setSelectedTextRange({range.location + utf16Length(clip), 0});
        });
    }
    // Delivers and waits out every delay; the outcome reported.
    std::optional<PasteOutcome> deliver(const std::string& text, bool pressEnter = false,
                                        std::optional<FocusedTextSnapshot> snapshot = std::nullopt) {
        std::optional<PasteOutcome> outcome;
        controller->pasteOrCopy(text, pressEnter, std::move(snapshot), [&](PasteOutcome o) { outcome = o; });
        advance(1s);
        return outcome;
    }
    bool logged(const std::string& line) const { return std::ranges::find(log, line) != log.end(); }
    std::vector<Keystroke> keystrokes() const {
        std::vector<Keystroke> result;
        for (const auto& posted : keyPoster->posted()) result.push_back(posted.keystroke);
        return result;
    }
};

TEST(OutputDeliveryTest, EachOutcomeWithItsIndicationAndLogLines) {
    enum class Field { takesPaste, ignoresPaste, deaf, readOnly };
    struct Case {
        const char* name;
        bool trusted;
        bool postingPermitted;
        bool grantedOnRequest;
        Field field;
        PasteOutcome expected;
        std::string fieldValue;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"PasteArrives", true, true, false, Field::takesPaste, PasteOutcome::keyboardConfirmed, "Dear Ann, Hello.",
         {"paste deliver axTrusted=true postEvent=true canInspect=true startSnapshot=false snapshot=true",
          "paste shortcutSent=true pid=100"}},
        {"PermissionGrantedOnRequest", true, false, true, Field::takesPaste, PasteOutcome::keyboardConfirmed,
         "Dear Ann, Hello.", {"paste shortcutSent=true pid=100"}},
        {"FieldIgnoresPaste", true, true, false, Field::ignoresPaste, PasteOutcome::keyboardSent, "Dear Ann, ",
         {"paste shortcutSent=true pid=100"}},
        {"NotTrusted", false, true, false, Field::takesPaste, PasteOutcome::accessibilityRequired, "Dear Ann, Hello.",
         {"paste axTrusted=false; attempting keyboard fallback anyway",
          "paste deliver axTrusted=false postEvent=true canInspect=true startSnapshot=false snapshot=false"}},
        {"NoKeystrokesFieldWritable", true, false, false, Field::ignoresPaste, PasteOutcome::accessibilityInserted,
         "Dear Ann, Hello.",
         {"paste deliver axTrusted=true postEvent=false canInspect=true startSnapshot=false snapshot=true",
          "paste shortcutSent=false pid=100", "paste directInsert=verified"}},
        {"NoKeystrokesWriteUnverified", true, false, false, Field::deaf, PasteOutcome::clipboardOnly, "",
         {"paste directInsert=unverified"}},
        {"NoKeystrokesFieldReadOnly", true, false, false, Field::readOnly, PasteOutcome::inputControlRequired,
         "Dear Ann, ", {"paste shortcutSent=false pid=100"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OutputDelivery t;
        t.accessibility->trusted = c.trusted;
        t.keyPoster->setPermitted(c.postingPermitted);
        t.keyPoster->setGrantOnRequest(c.grantedOnRequest);
        if (c.field == Field::takesPaste) t.pasteLandsIn(t.editorField);
        if (c.field == Field::readOnly) t.editorField->writable = false;
        if (c.field == Field::deaf) t.accessibility->focused = std::make_shared<DeafField>();
        t.pasteboard->setString("what was there before");

        EXPECT_EQ(t.deliver("Hello."), c.expected);
        EXPECT_EQ(t.pasteboard->string(), "Hello.");
        if (c.field != Field::deaf) {
            EXPECT_EQ(t.editorField->value(), c.fieldValue);
        }
        for (const std::string& line : c.lines) EXPECT_TRUE(t.logged(line)) << line;
        EXPECT_TRUE(t.logged("paste outcome=" + std::string(name(c.expected)) + " target=Text Editor pid=100"));
        EXPECT_EQ(t.logged("paste directInsert=verified"), c.expected == PasteOutcome::accessibilityInserted);
        // Permission for keystrokes is asked for once per run, and only when missing.
        EXPECT_EQ(t.keyPoster->permissionRequests(), c.postingPermitted ? 0 : 1);
        t.deliver("Again.");
        EXPECT_EQ(t.keyPoster->permissionRequests(), c.postingPermitted ? 0 : 1);
        EXPECT_EQ(t.accessibility->prompts, c.trusted ? 0 : 1);

        // Success shows the tick; failure shows the error for 1.8 s.
        OutputDelivery u;
        u.accessibility->trusted = c.trusted;
        u.keyPoster->setPermitted(c.postingPermitted);
        u.keyPoster->setGrantOnRequest(c.grantedOnRequest);
        if (c.field == Field::readOnly) u.editorField->writable = false;
        if (c.field == Field::deaf) u.accessibility->focused = std::make_shared<DeafField>();
        u.controller->pasteOrCopy("Hello.", false, std::nullopt);
        // The outcome: after the activation check, and after the check of
        // the paste where a keystroke was sent.
        const bool keystroke = c.postingPermitted || c.grantedOnRequest;
        u.advance(keystroke ? 80ms + 380ms : 80ms);
        if (isSuccess(c.expected)) {
            EXPECT_EQ(u.bubble->state(), B::success);
            u.advance(850ms);
        } else {
            EXPECT_EQ(u.bubble->state(), B::error);
            u.advance(1799ms);
            EXPECT_EQ(u.bubble->state(), B::error);
            u.advance(1ms);
        }
        EXPECT_EQ(u.bubble->state(), B::idle);
    }
}

// The paste keystroke pastes whatever the clipboard holds when the
// application asks for it. When another client put a different text there in
// the meantime, the keystroke carried that text, so an unconfirmed delivery
// is not reported as sent; the same text offered again (a clipboard manager
// taking over) changes nothing.
TEST(OutputDeliveryTest, AKeystrokeWhileTheClipboardHeldAnotherTextIsNotReportedAsSent) {
    struct Case {
        const char* name;
        std::string clipboardAtKeystroke;
        PasteOutcome expected;
    };
    const Case cases[] = {
        {"AnotherText", "someone else's copy", PasteOutcome::clipboardOnly},
        {"TheSameTextAgain", "Hello.", PasteOutcome::keyboardSent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OutputDelivery t;
        t.keyPoster->setOnPost([&t, &c](const SimKeyEventPoster::Posted& posted) {
            if (posted.keystroke == Keystroke::paste) t.pasteboard->setString(c.clipboardAtKeystroke);
        });
        EXPECT_EQ(t.deliver("Hello."), c.expected);
        EXPECT_EQ(t.editorField->value(), "Dear Ann, ");
        EXPECT_EQ(t.logged("paste clipboardReplaced=true"), c.expected == PasteOutcome::clipboardOnly);
    }
}

TEST_F(OutputDelivery, NoTargetLeavesTheTextOnTheClipboardWithTheFailureIndication) {
    // Only this program was ever in front.
    OutputDelivery t;
    t.workspace->setFrontmost(t.workspace->currentApplication());
    t.workspace->terminate(editor.processIdentifier);  // the last external application quit
    t.pasteboard->setString("before");
    std::optional<PasteOutcome> outcome;
    t.controller->pasteOrCopy("Hello there.", false, std::nullopt, [&](PasteOutcome o) { outcome = o; });
    EXPECT_EQ(outcome, PasteOutcome::noTarget);
    EXPECT_EQ(t.log.back(), "paste no-target chars=12");
    EXPECT_EQ(t.pasteboard->string(), "Hello there.");
    EXPECT_EQ(t.bubble->state(), B::error);
    EXPECT_TRUE(t.keyPoster->posted().empty());
    t.advance(1800ms);
    EXPECT_EQ(t.bubble->state(), B::idle);
}

TEST_F(OutputDelivery, WithoutAKeystrokeTheFieldIsWrittenRightAfterTheActivationCheck) {
    // No keystroke sent (none may be typed here, or the keyboard left a
    // writable field to the accessibility bus): no paste to wait for.
    keyPoster->setPermitted(false);
    std::optional<PasteOutcome> outcome;
    controller->pasteOrCopy("Hello.", false, std::nullopt, [&](PasteOutcome o) { outcome = o; });
    advance(79ms);
    EXPECT_FALSE(outcome);
    advance(1ms);
    EXPECT_EQ(outcome, PasteOutcome::accessibilityInserted);
    EXPECT_EQ(editorField->value(), "Dear Ann, Hello.");
}

TEST_F(OutputDelivery, TheTargetInFrontIsAskedOnceAndTheKeystrokeFollowsAfterOneCheck) {
    pasteLandsIn(editorField);
    std::optional<PasteOutcome> outcome;
    controller->pasteOrCopy("Hello.", false, std::nullopt, [&](PasteOutcome o) { outcome = o; });
    EXPECT_EQ(log.back(), "paste start target=Text Editor bundle=org.gnome.TextEditor pid=100 chars=6 "
                          "axTrusted=true frontmost=Text Editor");
    EXPECT_TRUE(keyPoster->posted().empty());
    advance(79ms);
    EXPECT_TRUE(keyPoster->posted().empty());
    advance(1ms);
    EXPECT_TRUE(logged("paste activation target=Text Editor matched=true remaining=7 frontmost=Text Editor"));
    ASSERT_EQ(keyPoster->posted().size(), 1u);
    EXPECT_EQ(keyPoster->posted()[0], (SimKeyEventPoster::Posted{Keystroke::paste, editor}));
    // The field is checked 0.38 s after the keystroke, not earlier.
    advance(379ms);
    EXPECT_FALSE(outcome);
    advance(1ms);
    EXPECT_EQ(outcome, PasteOutcome::keyboardConfirmed);
}

TEST(OutputDeliveryTest, ActivationIsRetriedEvery80msUpToSevenTimes) {
    struct Case {
        int refusals;
        std::chrono::milliseconds activatedAt;
        std::string line;
    };
    for (const Case& c :
         {Case{1, 160ms, "paste activation target=Text Editor matched=true remaining=6 frontmost=Text Editor"},
          Case{3, 320ms, "paste activation target=Text Editor matched=true remaining=4 frontmost=Text Editor"},
          Case{7, 640ms, "paste activation target=Text Editor matched=true remaining=0 frontmost=Text Editor"},
          Case{100, 640ms, "paste activation target=Text Editor matched=false remaining=0 frontmost=Tavlo"}}) {
        SCOPED_TRACE(c.refusals);
        OutputDelivery t;
        // This program is in front (its menu, say); the editor was the last
        // application the user worked in.
        t.workspace->setFrontmost(t.workspace->currentApplication());
        t.workspace->refuseActivations(c.refusals);
        std::optional<PasteOutcome> outcome;
        t.controller->pasteOrCopy("Hello.", false, std::nullopt, [&](PasteOutcome o) { outcome = o; });
        t.advance(c.activatedAt - 1ms);
        EXPECT_TRUE(t.keyPoster->posted().empty());
        EXPECT_FALSE(std::ranges::any_of(t.log, [](const std::string& l) { return l.starts_with("paste activation"); }));
        t.advance(1ms);
        EXPECT_EQ(t.log[t.log.size() - 3], c.line);
        EXPECT_EQ(t.keyPoster->posted().size(), 1u) << "the keystroke goes out whether or not the target came";
        t.advance(380ms);
        EXPECT_TRUE(outcome);
    }
}

TEST_F(OutputDelivery, TheApplicationInFrontAtDeliveryWinsOverTheOneTheDictationStartedIn) {
    store.setAutoPaste(true);
    startListening();
    workspace->activate(mail);
    controller->stopDictation();
    recognition()->sendFinal("hello");
    run();
    EXPECT_TRUE(logged("paste start target=Thunderbird Mail bundle=org.mozilla.Thunderbird pid=200 chars=6 "
                       "axTrusted=true frontmost=Thunderbird Mail"));
    // The editor's field snapshotted at the start belongs to another process.
    advance(80ms);
    EXPECT_TRUE(logged("paste deliver axTrusted=true postEvent=true canInspect=true startSnapshot=false snapshot=true"));
    EXPECT_EQ(keyPoster->posted().back().target, mail);
}

TEST_F(OutputDelivery, ASnapshotOfTheTargetsFieldIsKept) {
    const auto snapshot = controller->focusedTextSnapshot();
    accessibility->focused.reset();
    pasteLandsIn(editorField);
    EXPECT_EQ(deliver("Hello.", false, snapshot), PasteOutcome::keyboardConfirmed);
    EXPECT_TRUE(logged("paste deliver axTrusted=true postEvent=true canInspect=true startSnapshot=true snapshot=true"));
}

TEST(OutputDeliveryTest, ConfirmationAndInsertionCountInUtf16Units) {
    struct Case {
        const char* name;
        std::string value;
        std::optional<TextRange> selection;
        std::string text;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"SelectionReplaced", "xxabcxx", TextRange{2, 3}, "Hi", "xxHixx"},
        {"AfterEmoji", "\xF0\x9F\x98\x80\xF0\x9F\x98\x80 ", TextRange{5, 0}, "ok e\xCC\x81 \xF0\x9F\x91\x8D",
         "\xF0\x9F\x98\x80\xF0\x9F\x98\x80 ok e\xCC\x81 \xF0\x9F\x91\x8D"},
        {"NoSelectionReadableMeansTheEnd", "abc", std::nullopt, "Hi", "abcHi"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool keystroke : {true, false}) {
            OutputDelivery t;
            *t.editorField = SimTextField(100, c.value, c.selection);
            t.keyPoster->setPermitted(keystroke);
            if (keystroke) t.pasteLandsIn(t.editorField);
            EXPECT_EQ(t.deliver(c.text),
                      keystroke ? PasteOutcome::keyboardConfirmed : PasteOutcome::accessibilityInserted);
            EXPECT_EQ(t.editorField->value(), c.expected);
            if (!keystroke && c.selection) {
                EXPECT_EQ(t.editorField->selectedTextRange(),
                          (TextRange{c.selection->location + utf16Length(c.text), 0}));
            }
        }
    }
}

TEST_F(OutputDelivery, AWriteThatReportsFailureButLandsIsNotRepeated) {
    auto field = std::make_shared<LateField>();
    accessibility->focused = field;
    keyPoster->setPermitted(false);
    EXPECT_EQ(deliver("Hello."), PasteOutcome::accessibilityInserted);
    EXPECT_EQ(field->value(), "Dear Ann, Hello.");
}

TEST(OutputDeliveryTest, ReturnFollowsTheOutcomeOnlyWhileTheTargetIsInFront) {
    struct Case {
        const char* name;
        bool permitted;
        bool switchAway;
        std::vector<Keystroke> keystrokes;
        const char* line;
    };
    for (const Case& c : {Case{"AfterPaste", true, false, {Keystroke::paste, Keystroke::enter}, "paste enter sent=true"},
                          Case{"AfterFailure", false, false, {}, "paste enter sent=false"},
                          Case{"TargetLeft", true, true, {Keystroke::paste},
                               "paste enter skipped target=Text Editor frontmost=Thunderbird Mail"}}) {
        SCOPED_TRACE(c.name);
        OutputDelivery t;
        t.keyPoster->setPermitted(c.permitted);
        t.editorField->writable = false;
        t.controller->pasteOrCopy("Hello.", true, std::nullopt);
        t.advance(80ms + 380ms);
        EXPECT_TRUE(std::ranges::any_of(t.log, [](const std::string& l) { return l.starts_with("paste outcome="); }));
        if (c.switchAway) t.workspace->activate(mail);
        t.advance(219ms);
        EXPECT_EQ(t.keyPoster->posted().size(), c.permitted ? 1u : 0u);
        t.advance(1ms);
        EXPECT_EQ(t.keystrokes(), c.keystrokes);
        EXPECT_EQ(t.log.back(), c.line);
    }
}

TEST_F(OutputDelivery, TheTargetQuittingDuringActivationEndsWithoutAField) {
    workspace->setFrontmost(workspace->currentApplication());
    std::optional<PasteOutcome> outcome;
    workspace->refuseActivations(100);
    controller->pasteOrCopy("Hello.", false, std::nullopt, [&](PasteOutcome o) { outcome = o; });
    workspace->terminate(editor.processIdentifier);
    advance(2s);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(pasteboard->string(), "Hello.");
    // The next delivery finds no target at all.
    EXPECT_EQ(deliver("Again."), PasteOutcome::noTarget);
}

TEST_F(OutputDelivery, TheHubsButtons) {
    pasteboard->setString("before");
    controller->copyTextFromHub("  \n ");
    EXPECT_EQ(pasteboard->string(), "before");
    controller->copyTextFromHub("\n Notes for Ann \n");
    EXPECT_EQ(pasteboard->string(), "Notes for Ann");
    EXPECT_EQ(bubble->state(), B::success);
    EXPECT_TRUE(keyPoster->posted().empty());

    // The hub is in front: the text goes to the application used before it.
    workspace->setFrontmost(workspace->currentApplication());
    pasteLandsIn(editorField);
    controller->pasteTextFromHub(" \n");
    EXPECT_TRUE(log.empty());
    controller->pasteTextFromHub(" Hello. \n");
    advance(1s);
    EXPECT_EQ(editorField->value(), "Dear Ann, Hello.");
    EXPECT_TRUE(logged("paste outcome=keyboardConfirmed target=Text Editor pid=100"));
}

}  // namespace
}  // namespace tavlo::testing
