// The GlobalShortcuts portal client against the real xdg-desktop-portal
// frontend, on a private session bus, with a small desktop side of the
// tests behind it (its documented backend interface): binding asks for the
// stored keys, presses and releases arrive in order, the user's changes are
// followed, and a refusal is told in words.
#include <gtest/gtest.h>

#include <gio/gio.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "harness/PrivateSessionBus.h"
#include "platform/linux/portal/PortalDesktop.h"
#include "platform/linux/portal/GlobalShortcutsPortal.h"

namespace tavlo::portal {
namespace {

using namespace std::chrono_literals;
using testing::PrivateSessionBus;

// What the user does on the desktop's side: presses, releases, new keys.
bool act(const PortalDesktop& desktop, const char* method, GVariant* parameters) {
    GVariant* reply = desktop.act("org.tavlo.TestShortcuts", method, parameters);
    if (reply) g_variant_unref(reply);
    return reply != nullptr;
}

PortalDesktop::Side shortcutsDesktop(bool refuse) {
    PortalDesktop::Side side{"shortcuts_portal_backend.py", "org.tavlo.TestShortcutsPortal",
                             "org.freedesktop.impl.portal.GlobalShortcuts", {}};
    if (refuse) side.arguments.push_back("--refuse");
    return side;
}

class GlobalShortcutsPortalSerially : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access(frontendProgram, X_OK) != 0) GTEST_SKIP() << "not installed: xdg-desktop-portal";
        if (const auto missing = PrivateSessionBus::missingPrograms(true); !missing.empty())
            GTEST_SKIP() << "not installed: " << missing;
        ASSERT_TRUE(PrivateSessionBus::sharedWithSecretService().running());
    }

    struct Heard {
        std::vector<std::pair<std::string, bool>> changes;
        std::optional<std::vector<BoundShortcut>> bound;
        std::optional<std::string> problem;
    };
    static GlobalShortcutsHandlers handlersFor(Heard& heard) {
        GlobalShortcutsHandlers handlers;
        handlers.shortcutChanged = [&heard](const std::string& id, bool pressed) { heard.changes.emplace_back(id, pressed); };
        handlers.shortcutsBound = [&heard](const std::vector<BoundShortcut>& bound) { heard.bound = bound; };
        handlers.failed = [&heard](const std::string& problem) { heard.problem = problem; };
        return handlers;
    }
};

TEST_F(GlobalShortcutsPortalSerially, TheStoredKeysAreBoundAndPressesReleasesAndTheUsersChangesArrive) {
    PortalDesktop desktop(shortcutsDesktop(false));
    ASSERT_TRUE(desktop.started()) << desktop.logs();
    Heard heard;
    auto portal = GlobalShortcutsPortal::create(handlersFor(heard));
    ASSERT_TRUE(portal);
    EXPECT_TRUE(portal->available()) << desktop.logs();

    portal->bind({{"hold", "Hold to dictate", "CTRL+ALT+space"}, {"casual", "Rewrite casually", "CTRL+ALT+c"}});
    ASSERT_TRUE(pumpUntil([&] { return heard.bound.has_value() || heard.problem.has_value(); }))
        << desktop.logs();
    ASSERT_FALSE(heard.problem) << *heard.problem;
    ASSERT_EQ(heard.bound->size(), 2u);
    EXPECT_EQ((*heard.bound)[0].id, "hold");
    EXPECT_EQ((*heard.bound)[0].triggerDescription, "CTRL+ALT+space");

    // Held, let go, then the press trigger style: in order, each once.
    ASSERT_TRUE(act(desktop, "Press", g_variant_new("(s)", "hold")));
    ASSERT_TRUE(act(desktop, "Release", g_variant_new("(s)", "hold")));
    ASSERT_TRUE(act(desktop, "Press", g_variant_new("(s)", "casual")));
    ASSERT_TRUE(pumpUntil([&] { return heard.changes.size() >= 3; })) << desktop.logs();
    const std::vector<std::pair<std::string, bool>> expected = {{"hold", true}, {"hold", false}, {"casual", true}};
    EXPECT_EQ(heard.changes, expected);

    // The user gives the hold shortcut other keys in the desktop's settings.
    heard.bound.reset();
    ASSERT_TRUE(act(desktop, "Rebind", g_variant_new("(ss)", "hold", "SUPER+d")));
    ASSERT_TRUE(pumpUntil([&] { return heard.bound.has_value(); })) << desktop.logs();
    ASSERT_FALSE(heard.bound->empty());
    EXPECT_EQ((*heard.bound)[0].triggerDescription, "SUPER+d");
}

TEST_F(GlobalShortcutsPortalSerially, ARefusalIsToldInWordsAndNothingIsBound) {
    PortalDesktop desktop(shortcutsDesktop(true));
    ASSERT_TRUE(desktop.started()) << desktop.logs();
    Heard heard;
    auto portal = GlobalShortcutsPortal::create(handlersFor(heard));
    ASSERT_TRUE(portal);
    portal->bind({{"hold", "Hold to dictate", "CTRL+ALT+space"}});
    ASSERT_TRUE(pumpUntil([&] { return heard.problem.has_value() || heard.bound.has_value(); })) << desktop.logs();
    EXPECT_FALSE(heard.bound);
    ASSERT_TRUE(heard.problem);
    EXPECT_EQ(*heard.problem, "The global shortcuts were declined in the desktop's dialog");
}

}  // namespace
}  // namespace tavlo::portal
