// The clipboard against a real X server (Xvfb), with xclip as the other
// application: it reads what we offer and offers text of its own. Clipboard
// and selections are shared by the whole desktop, so these tests run one at
// a time.
#include "platform/linux/x11/X11TestSupport.h"

#include <X11/Xatom.h>

#include <memory>
#include <string>

#include "harness/XvfbDesktop.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11Pasteboard.h"

namespace tavlo::x11 {
namespace {

using namespace testsupport;

class X11PasteboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto missing = testing::XvfbDesktop::missingPrograms(); !missing.empty())
            GTEST_SKIP() << "not installed: " << missing;
        xclip = testing::findProgram("xclip");
        if (xclip.empty()) GTEST_SKIP() << "not installed: xclip";
        auto& desktop = testing::XvfbDesktop::shared();
        ASSERT_TRUE(desktop.running()) << desktop.error();
        ensureApplication();
        connection = X11Connection::open(desktop.display());
        ASSERT_TRUE(connection);
        pasteboard = X11Pasteboard::create(connection);
    }

    // What another application gets when it pastes `target` from `selection`.
    std::string pastedByXclip(const std::string& target = "UTF8_STRING", const std::string& selection = "clipboard") {
        Program reader({xclip, "-o", "-selection", selection, "-t", target});
        EXPECT_TRUE(reader.waitForExit()) << "xclip did not finish";
        return reader.output();
    }

    std::string xclip;
    std::shared_ptr<X11Connection> connection;
    std::shared_ptr<X11Pasteboard> pasteboard;
};

TEST_F(X11PasteboardTest, OurTextIsServedInEveryEncodingItFits) {
    struct Case {
        std::string text, target, expected;
    };
    const std::string emoji = "Grüße 👋🏽 from Tavlo";
    const Case cases[] = {
        {emoji, "UTF8_STRING", emoji},
        {emoji, "text/plain;charset=utf-8", emoji},
        {"Grüße", "STRING", "Gr\xfc\xdf" "e"},      // Latin-1 bytes
        {"Grüße", "TEXT", "Gr\xfc\xdf" "e"},        // the owner's choice: Latin-1 fits
        {emoji, "TEXT", emoji},                     // it does not: UTF-8
        {"", "UTF8_STRING", ""},
    };
    for (const Case& c : cases) {
        pasteboard->setString(c.text);
        EXPECT_EQ(pastedByXclip(c.target), c.expected) << c.target << " of " << c.text;
    }

    const std::string targets = pastedByXclip("TARGETS");
    for (const char* target : {"TARGETS", "UTF8_STRING", "text/plain;charset=utf-8", "STRING", "TEXT"})
        EXPECT_NE(targets.find(target), std::string::npos) << target << " missing from\n" << targets;

    // Text outside Latin-1 is refused as STRING rather than mangled.
    pasteboard->setString(emoji);
    EXPECT_EQ(pastedByXclip("STRING").find(emoji), std::string::npos);
    EXPECT_EQ(pasteboard->string(), emoji);
}

TEST_F(X11PasteboardTest, AMegabyteGoesOutInPiecesAndPrimaryIsSeparate) {
    std::string large;
    while (large.size() < (1u << 20)) large += "Line " + std::to_string(large.size()) + " with ünïcödé ✓\n";
    pasteboard->setString(large);
    pasteboard->setPrimaryString("for xterm");
    EXPECT_EQ(pastedByXclip(), large);
    EXPECT_EQ(pastedByXclip("UTF8_STRING", "primary"), "for xterm");
    // Twice at once: two readers, each with its own transfer.
    Program first({xclip, "-o", "-selection", "clipboard"}), second({xclip, "-o", "-selection", "clipboard"});
    ASSERT_TRUE(first.waitForExit());
    ASSERT_TRUE(second.waitForExit());
    EXPECT_EQ(first.output(), large);
    EXPECT_EQ(second.output(), large);
}

TEST_F(X11PasteboardTest, AnotherOwnerIsCountedAndReadAndItsDepartureEmptiesTheClipboard) {
    pasteboard->setString("ours");
    const auto before = pasteboard->changeCount();

    const std::string theirs = "copied elsewhere ✂️";
    Program owner({xclip, "-i", "-quiet", "-selection", "clipboard"}, &theirs);
    ASSERT_TRUE(runLoopUntil([&] { return pasteboard->changeCount() > before; }));
    EXPECT_EQ(pasteboard->string(), theirs);
    // Served from the other client, so also a large read works both ways.
    std::string large(700 * 1024, 'x');
    const auto whileTheirs = pasteboard->changeCount();
    owner.stop();
    // Its departure is counted before the next owner comes, so the next count
    // is the new owner's (on a loaded machine both could otherwise be seen
    // before the count is taken).
    ASSERT_TRUE(runLoopUntil([&] { return pasteboard->changeCount() > whileTheirs; }));
    const auto counted = pasteboard->changeCount();
    Program bigOwner({xclip, "-i", "-quiet", "-selection", "clipboard"}, &large);
    ASSERT_TRUE(runLoopUntil([&] { return pasteboard->changeCount() > counted; }, 15s));
    EXPECT_EQ(pasteboard->string(), large);

    const auto whileOwned = pasteboard->changeCount();
    bigOwner.stop();
    ASSERT_TRUE(runLoopUntil([&] { return pasteboard->changeCount() > whileOwned; }));
    EXPECT_EQ(pasteboard->string(), std::nullopt);

    // Our own changes count at once.
    const auto afterThem = pasteboard->changeCount();
    pasteboard->clearContents();
    pasteboard->setString("again ours");
    EXPECT_EQ(pasteboard->changeCount(), afterThem + 2);
    pumpFor(100ms);
    EXPECT_EQ(pasteboard->changeCount(), afterThem + 2) << "our own changes were counted twice";
    EXPECT_EQ(pastedByXclip(), "again ours");
}

TEST_F(X11PasteboardTest, ReadingGivesUpOnAnOwnerThatNeverAnswers) {
    pasteboard->clearContents();
    pumpFor(50ms);
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(pasteboard->string(), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 100ms) << "no owner should answer at once";

    // A client that takes the clipboard and then never reads its events.
    Display* silent = XOpenDisplay(testing::XvfbDesktop::shared().display().c_str());
    ASSERT_TRUE(silent);
    const Window window = XCreateSimpleWindow(silent, DefaultRootWindow(silent), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(silent, XInternAtom(silent, "CLIPBOARD", False), window, CurrentTime);
    XSync(silent, False);

    // Meanwhile another change on the desktop: heard after the read, not in
    // the middle of it.
    connection->selectMoreInput(connection->root(), PropertyChangeMask);
    const Atom marker = XInternAtom(connection->display(), "TAVLO_TEST_MARKER", False);
    bool reading = false, heardWhileReading = false, heard = false;
    const auto listener = connection->addListener([&](XEvent& event) {
        if (event.type != PropertyNotify || event.xproperty.atom != marker) return;
        heard = true;
        heardWhileReading = heardWhileReading || reading;
    });
    Program change({"/bin/sh", "-c", "sleep 0.3; exec xprop -root -f TAVLO_TEST_MARKER 8s -set TAVLO_TEST_MARKER x"});

    started = std::chrono::steady_clock::now();
    reading = true;
    EXPECT_EQ(pasteboard->string(), std::nullopt);
    reading = false;
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, X11Pasteboard::readTimeout);
    EXPECT_LT(waited, 3 * X11Pasteboard::readTimeout);
    EXPECT_TRUE(runLoopUntil([&] { return heard; }));
    EXPECT_FALSE(heardWhileReading);
    connection->removeListener(listener);
    XCloseDisplay(silent);
}

}  // namespace
}  // namespace tavlo::x11
