// Applications on a real X desktop (Xvfb with openbox): GTK windows started
// by the test, found through the window manager, named from desktop entries
// the test installs, and brought to the front on request. Focus is shared by
// the whole desktop, so these tests run one at a time.
#include "platform/linux/x11/X11TestSupport.h"

#include <X11/Xatom.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "harness/XvfbDesktop.h"
#include "platform/linux/x11/X11Connection.h"
#include "platform/linux/x11/X11Workspace.h"

namespace tavlo::x11 {
namespace {

using namespace testsupport;

class X11WorkspaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const auto missing = testing::XvfbDesktop::missingPrograms(); !missing.empty())
            GTEST_SKIP() << "not installed: " << missing;
        if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "not installed: python3";
        auto& desktop = testing::XvfbDesktop::shared();
        ASSERT_TRUE(desktop.running()) << desktop.error();
        ensureApplication();
        connection = X11Connection::open(desktop.display());
        ASSERT_TRUE(connection);

        std::filesystem::create_directories(folder / "applications/vendor");
        std::ofstream(folder / "applications/org.example.Notes.desktop")
            << "[Desktop Entry]\nType=Application\nName=Notes\nName[de]=Notizen\nExec=notes %U\n"
               "Categories=Office;\n\n[Desktop Action new]\nName=New note\n";
        X11Workspace::Options options;
        options.applicationDirectories = {folder / "applications"};
        options.locale = "de_DE.UTF-8";
        workspace = X11Workspace::create(connection, options);
    }

    std::unique_ptr<Program> startField(const std::string& applicationId, const std::string& program) {
        return startTextField(applicationId, program);
    }

    bool frontmostIs(pid_t pid) {
        return runLoopUntil([&] {
            const auto front = workspace->frontmostApplication();
            return front && front->processIdentifier == pid;
        });
    }

    testing::TemporaryDirectory folder;
    std::shared_ptr<X11Connection> connection;
    std::shared_ptr<X11Workspace> workspace;
};

TEST_F(X11WorkspaceTest, ApplicationsAreNamedByTheirDesktopEntryElseByTheirWindowClass) {
    auto notes = startField("org.example.Notes", "notes");
    ASSERT_TRUE(frontmostIs(notes->pid()));
    const RunningApplication listed{notes->pid(), "org.example.Notes", "Notizen"};
    EXPECT_EQ(workspace->frontmostApplication(), listed);
    EXPECT_EQ(workspace->runningApplication(notes->pid()), listed);
    EXPECT_FALSE(workspace->isTerminated(listed));

    // No entry: the window class names it, the same in every run.
    auto other = startField("org.example.Unlisted", "unlisted-field");
    ASSERT_TRUE(frontmostIs(other->pid()));
    const auto unlisted = workspace->frontmostApplication();
    ASSERT_TRUE(unlisted);
    EXPECT_TRUE(unlisted->bundleIdentifier == "org.example.Unlisted" ||
                unlisted->bundleIdentifier == "Unlisted-field")
        << unlisted->bundleIdentifier.value_or("none");
    EXPECT_EQ(unlisted->localizedName, "Unlisted-field");

    EXPECT_EQ(workspace->runningApplication(::getpid()), workspace->currentApplication());
    EXPECT_EQ(workspace->currentApplication().processIdentifier, ::getpid());
}

TEST_F(X11WorkspaceTest, ActivationBringsTheMainWindowForwardAndIsReportedOncePerSwitch) {
    auto first = startField("org.example.Notes", "notes");
    auto second = startField("org.example.Second", "second-field");
    ASSERT_TRUE(frontmostIs(second->pid()));
    std::vector<int> reported;
    workspace->setActivationHandler([&](const RunningApplication& app) { reported.push_back(app.processIdentifier); });
    pumpFor(300ms);  // the start-up switches are heard before counting
    reported.clear();

    const auto firstApp = workspace->runningApplication(first->pid());
    const auto secondApp = workspace->runningApplication(second->pid());
    ASSERT_TRUE(firstApp && secondApp);
    auto reportedLast = [&](pid_t pid) {
        return runLoopUntil([&] { return !reported.empty() && reported.back() == pid; });
    };
    for (int round = 0; round < 2; ++round) {
        workspace->activate(*firstApp);
        ASSERT_TRUE(reportedLast(first->pid()));
        EXPECT_EQ(workspace->frontmostApplication(), firstApp);
        workspace->activate(*secondApp);
        ASSERT_TRUE(reportedLast(second->pid()));
        EXPECT_EQ(workspace->frontmostApplication(), secondApp);
    }
    pumpFor(200ms);
    EXPECT_EQ(reported, (std::vector<int>{first->pid(), second->pid(), first->pid(), second->pid()}));

    // Once it quits it is terminated, and no longer running under its id.
    const pid_t gone = second->pid();
    second->stop();
    EXPECT_TRUE(workspace->isTerminated(*secondApp));
    EXPECT_EQ(workspace->runningApplication(gone), std::nullopt);
    workspace->activate(*secondApp);  // harmless
    EXPECT_FALSE(workspace->isTerminated(*firstApp));
}

TEST_F(X11WorkspaceTest, OurOwnWindowIsThisProgram) {
    Display* display = connection->display();
    const Window window = XCreateSimpleWindow(display, connection->root(), 0, 0, 200, 100, 0, 0, 0);
    const long pid = ::getpid();
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    XMapRaised(display, window);
    connection->flush();
    // A window manager may not focus a new window by itself: ask, as for any application.
    ASSERT_TRUE(runLoopUntil([&] {
        workspace->activate(workspace->currentApplication());
        pumpFor(50ms);
        const auto front = workspace->frontmostApplication();
        return front && front->processIdentifier == ::getpid();
    }, 15s));
    EXPECT_EQ(workspace->frontmostApplication(), workspace->currentApplication());
    EXPECT_EQ(workspace->currentApplication().bundleIdentifier, "tavlo");
    XDestroyWindow(display, window);
    connection->flush();
}

}  // namespace
}  // namespace tavlo::x11
