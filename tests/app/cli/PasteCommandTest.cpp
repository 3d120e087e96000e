// `tavlo paste` on a real desktop: a private X server with a window manager,
// a private session bus with the accessibility bus on, and a GTK 3 entry that
// has the focus. The command delivers through the X11 clipboard, an XTest
// paste keystroke and a check over AT-SPI, and must name the outcome. The
// desktop is shared, so these tests run one at a time.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>

#include "harness/AccessibilityBus.h"
#include "harness/RunProgram.h"
#include "harness/TemporaryDirectory.h"
#include "harness/TextFieldApplication.h"
#include "harness/XvfbDesktop.h"

namespace tavlo::testing {
namespace {

class PasteCommandSerially : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string missing = XvfbDesktop::missingPrograms() + AccessibilityBus::missingPrograms() +
                                    TextFieldApplication::missingPrograms(Toolkit::gtk3) +
                                    TextFieldApplication::missingPrograms(Toolkit::qt);
        if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing;
        auto& desktop = XvfbDesktop::shared();
        ASSERT_TRUE(desktop.running()) << desktop.error();
        auto& bus = AccessibilityBus::shared();
        ASSERT_TRUE(bus.running()) << bus.error();
        ASSERT_TRUE(bus.setEnabled(true));
        environment = {{"HOME", home.path().string()},
                       {"XDG_CONFIG_HOME", (home.path() / "config").string()},
                       {"XDG_STATE_HOME", (home.path() / "state").string()}};
    }
    ProgramResult paste(const std::string& text) { return runProgram(TAVLO_BINARY, {"paste", text}, "", environment); }

    TemporaryDirectory home;
    std::map<std::string, std::string> environment;
};

TEST_F(PasteCommandSerially, TheTextLandsInTheFocusedGtkOrQtFieldAndIsConfirmed) {
    struct Case {
        const char* name;
        TextFieldSetup field;
        std::string text;
        std::string expected;
    };
    const std::string emoji = "a\U0001F600e\u0301b";  // a😀éb: 6 UTF-16 units
    const std::vector<Case> cases = {
        {"CaretInTheMiddle", {"hello world", 5, 5}, " there", "hello there world"},
        {"ASelection", {"hello world", 2, 7}, "XY", "heXYorld"},
        {"AfterEmojiAndACombiningMark", {emoji, 6, 6}, "\U0001F44D e\u0301", emoji + "\U0001F44D e\u0301"},
    };
    // GTK counts text positions in code points, Qt in UTF-16 units: the
    // emoji case shows both are converted right.
    for (const Toolkit toolkit : {Toolkit::gtk3, Toolkit::qt})
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (toolkit == Toolkit::qt ? " in Qt" : " in GTK"));
        TextFieldApplication application(toolkit, c.field);
        ASSERT_TRUE(application.running()) << application.error();
        const ProgramResult result = paste(c.text);
        EXPECT_EQ(result.out, "keyboardConfirmed\n") << result.err;
        EXPECT_EQ(result.status, 0);
        const auto state = application.fieldState();
        ASSERT_TRUE(state);
        EXPECT_EQ(state->text, c.expected);
    }
}

TEST_F(PasteCommandSerially, AFieldThatIgnoresTheKeystrokeIsReportedAsSentButUnconfirmed) {
    TextFieldApplication application(Toolkit::gtk3, {"hello", 5, 5, true});
    ASSERT_TRUE(application.running()) << application.error();
    const ProgramResult result = paste("!");
    // The keystroke went out and accessibility works: the field is not
    // written a second time behind the application's back.
    EXPECT_EQ(result.out, "keyboardSent\n") << result.err;
    EXPECT_EQ(result.status, 0);
    const auto state = application.fieldState();
    ASSERT_TRUE(state);
    EXPECT_EQ(state->text, "hello");
}

TEST_F(PasteCommandSerially, WithTheAccessibilityBusOffTheKeystrokeStillGoesOutButCannotBeChecked) {
    auto& bus = AccessibilityBus::shared();
    ASSERT_TRUE(bus.setEnabled(false));
    TextFieldApplication application(Toolkit::gtk3, {"hello", 5, 5});
    ASSERT_TRUE(application.running()) << application.error();
    const ProgramResult result = paste(" world");
    ASSERT_TRUE(bus.setEnabled(true));
    // Unverifiable, so reported as a failure that names what is missing.
    EXPECT_EQ(result.out, "accessibilityRequired\n") << result.err;
    EXPECT_EQ(result.status, 1);
    const auto state = application.fieldState();
    ASSERT_TRUE(state);
    EXPECT_EQ(state->text, "hello world");
}

// Options are never typed into the user's application: --help and -h print
// the usage, an unknown option is a usage error, and text that begins with a
// dash is delivered only after "--".
TEST_F(PasteCommandSerially, OptionsAreNotTypedAndDashTextNeedsTheSeparator) {
    struct Case {
        std::vector<std::string> args;
        int status;
        bool usageOnStandardOutput;
        std::string fieldAfter;
    };
    const Case cases[] = {
        {{"paste", "--help"}, 0, true, "hello"},
        {{"paste", "-h"}, 0, true, "hello"},
        {{"paste", "--typo"}, 2, false, "hello"},
        {{"paste", "-5 degrees"}, 2, false, "hello"},
        {{"paste", "--", "-5 degrees"}, 0, false, "hello-5 degrees"},
        {{"paste", "--", "--help"}, 0, false, "hello--help"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        TextFieldApplication application(Toolkit::gtk3, {"hello", 5, 5});
        ASSERT_TRUE(application.running()) << application.error();
        const ProgramResult result = runProgram(TAVLO_BINARY, c.args, "", environment);
        EXPECT_EQ(result.status, c.status) << result.err;
        const std::string& usageStream = c.usageOnStandardOutput ? result.out : result.err;
        if (c.status == 0 && !c.usageOnStandardOutput) {
            EXPECT_EQ(result.out, "keyboardConfirmed\n") << result.err;
        } else {
            EXPECT_EQ(usageStream.rfind("usage: tavlo paste [--] TEXT", 0), 0u) << usageStream;
        }
        const auto state = application.fieldState();
        ASSERT_TRUE(state);
        EXPECT_EQ(state->text, c.fieldAfter);
    }
}

// Two deliveries at once share one clipboard and one focused field: each
// text lands exactly once, and no command reports a text as delivered that
// did not arrive.
TEST_F(PasteCommandSerially, TwoPastesAtOnceEachLandOnceOrReportHonestly) {
    TextFieldApplication application(Toolkit::gtk3, {"", 0, 0});
    ASSERT_TRUE(application.running()) << application.error();
    const std::string texts[] = {"[alpha]", "[bravo]"};
    ProgramResult results[2];
    {
        std::thread first([&] { results[0] = paste(texts[0]); });
        std::thread second([&] { results[1] = paste(texts[1]); });
        first.join();
        second.join();
    }
    const auto state = application.fieldState();
    ASSERT_TRUE(state);
    auto occurrences = [&](const std::string& text) {
        std::size_t count = 0;
        for (auto at = state->text.find(text); at != std::string::npos; at = state->text.find(text, at + 1)) ++count;
        return count;
    };
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(texts[i]);
        EXPECT_LE(occurrences(texts[i]), 1u) << state->text;
        const bool reportedDelivered = results[i].status == 0;
        if (reportedDelivered) {
            EXPECT_EQ(occurrences(texts[i]), 1u) << results[i].out << state->text;
        }
        // Both take their turn: neither is pushed aside.
        EXPECT_EQ(results[i].out, "keyboardConfirmed\n") << results[i].err;
    }
    EXPECT_EQ(state->text.size(), texts[0].size() + texts[1].size()) << state->text;
}

TEST_F(PasteCommandSerially, WithoutADisplayTheCommandsSaySo) {
    environment["DISPLAY"] = "";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"paste", "hello"}, std::vector<std::string>{"dictate", "--paste"}}) {
        SCOPED_TRACE(args[0]);
        const ProgramResult result = runProgram(TAVLO_BINARY, args, "", environment);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "tavlo: no X11 display: pasting needs an X11 session (is DISPLAY set?)\n");
    }
}

}  // namespace
}  // namespace tavlo::testing
