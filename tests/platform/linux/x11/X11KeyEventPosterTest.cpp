// Paste, copy and Return synthesised with XTest into real applications on
// a private X desktop (Xvfb with openbox): a GTK text entry and xterm. The
// keyboard and focus are shared by the whole desktop, so these tests run one
// at a time and release every key they press.
#include "platform/linux/x11/X11TestSupport.h"

#include <X11/keysym.h>

#include <memory>
#include <string>

#include "harness/XvfbDesktop.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11KeyEventPoster.h"
#include "platform/linux/x11/X11Pasteboard.h"
#include "platform/linux/x11/X11Workspace.h"

namespace tavlo::x11 {
namespace {

using namespace testsupport;

class X11KeyEventPosterTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto missing = testing::XvfbDesktop::missingPrograms(); !missing.empty())
            GTEST_SKIP() << "not installed: " << missing;
        auto& desktop = testing::XvfbDesktop::shared();
        ASSERT_TRUE(desktop.running()) << desktop.error();
        ensureApplication();
        connection = X11Connection::open(desktop.display());
        ASSERT_TRUE(connection);
        X11Workspace::Options options;
        options.applicationDirectories = {};
        workspace = X11Workspace::create(connection, options);
        pasteboard = X11Pasteboard::create(connection);
        poster = X11KeyEventPoster::create(connection, workspace, pasteboard);
        ASSERT_TRUE(poster->isPostingPermitted());
        typist = std::make_unique<Typist>(desktop.display());
    }

    std::optional<RunningApplication> frontmost(pid_t pid) {
        std::optional<RunningApplication> front;
        runLoopUntil([&] {
            front = workspace->frontmostApplication();
            return front && front->processIdentifier == pid;
        });
        return front && front->processIdentifier == pid ? front : std::nullopt;
    }

    std::string fieldText(const Program& field) {
        const auto text = lastFieldText(field.output());
        return text ? text->text : std::string();
    }

    std::shared_ptr<X11Connection> connection;
    std::shared_ptr<X11Workspace> workspace;
    std::shared_ptr<X11Pasteboard> pasteboard;
    std::shared_ptr<X11KeyEventPoster> poster;
    std::unique_ptr<Typist> typist;
};

TEST_F(X11KeyEventPosterTest, PasteAndCopyReachAGtkEntryOnceTheUserLetsGoOfCtrl) {
    if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "not installed: python3";
    auto field = startTextField("org.example.Field", "field", "Hello ");
    const auto target = frontmost(field->pid());
    ASSERT_TRUE(target);
    EXPECT_EQ(workspace->terminalKind(*target), desktop::TerminalKind::notTerminal);

    pasteboard->setString("wörld 👋🏽");
    std::optional<bool> sent;
    poster->postPaste(*target, [&](bool ok) { sent = ok; });
    ASSERT_TRUE(runLoopUntil([&] { return fieldText(*field) == "Hello wörld 👋🏽"; })) << field->output();
    EXPECT_EQ(sent, true);

    // Ctrl still held from a trigger: nothing goes out until it is released.
    const unsigned ctrl = typist->keycode(XK_Control_R);
    typist->press(ctrl);
    pumpFor(50ms);
    pasteboard->setString("!");
    sent.reset();
    poster->postPaste(*target, [&](bool ok) { sent = ok; });
    pumpFor(300ms);
    EXPECT_FALSE(sent) << "posted while Ctrl was held";
    EXPECT_EQ(fieldText(*field), "Hello wörld 👋🏽");
    typist->release(ctrl);
    ASSERT_TRUE(runLoopUntil([&] { return fieldText(*field) == "Hello wörld 👋🏽!"; })) << field->output();
    EXPECT_EQ(sent, true);

    // Copy: select everything, and the clipboard changes to the entry's text.
    const unsigned a = typist->keycode(XK_a);
    typist->press(ctrl);
    typist->press(a);
    typist->release(a);
    typist->release(ctrl);
    pumpFor(100ms);
    const auto before = pasteboard->changeCount();
    poster->postCopy(target, [&](bool ok) { sent = ok; });
    ASSERT_TRUE(runLoopUntil([&] { return pasteboard->changeCount() > before; }));
    EXPECT_EQ(pasteboard->string(), "Hello wörld 👋🏽!");
}

TEST_F(X11KeyEventPosterTest, XtermPastesThePrimarySelectionWithShiftInsert) {
    const std::string xterm = testing::findProgram("xterm");
    if (xterm.empty()) GTEST_SKIP() << "not installed: xterm";
    testing::TemporaryDirectory folder;
    const auto typed = folder / "typed";
    Program terminal({xterm, "-e", "sh", "-c", "read line; printf %s \"$line\" > \"$0\"", typed.string()});
    const auto target = frontmost(terminal.pid());
    ASSERT_TRUE(target);
    EXPECT_EQ(workspace->terminalKind(*target), desktop::TerminalKind::xtermLike);
    pumpFor(500ms);  // xterm has the focus and its shell is reading

    pasteboard->setString("echo Grüße aus dem Terminal");
    std::optional<bool> sent;
    poster->postPaste(*target, [&](bool ok) { sent = ok; });
    ASSERT_TRUE(runLoopUntil([&] { return sent.has_value(); }));
    EXPECT_TRUE(*sent);
    // xterm fetches the selection after the keystroke: Return must not overtake it.
    pumpFor(1000ms);
    poster->postReturn([&](bool ok) { sent = ok; });
    ASSERT_TRUE(terminal.waitForExit()) << "the shell never read a line";
    EXPECT_EQ(readFile(typed), "echo Grüße aus dem Terminal");
}

}  // namespace
}  // namespace tavlo::x11
