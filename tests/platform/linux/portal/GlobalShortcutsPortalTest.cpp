// The GlobalShortcuts portal client against the real xdg-desktop-portal
// frontend, on a private session bus, with a small desktop side of the
// tests behind it (its documented backend interface): binding asks for the
// stored keys, presses and releases arrive in order, the user's changes are
// followed, and a refusal is told in words.
#include <gtest/gtest.h>

#include <gio/gio.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "harness/ChildProcesses.h"
#include "harness/PrivateSessionBus.h"
#include "harness/TemporaryDirectory.h"
#include "platform/linux/portal/GlobalShortcutsPortal.h"

namespace tavlo::portal {
namespace {

using namespace std::chrono_literals;
using testing::PrivateSessionBus;

constexpr const char* frontendProgram = "/usr/libexec/xdg-desktop-portal";
const std::string backendScript = std::string(TAVLO_TEST_SOURCE_DIR) + "/harness/shortcuts_portal_backend.py";

// Runs GLib's main context (where the client's answers arrive) until `done`.
template <typename Done>
bool pumpUntil(Done done, std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (!g_main_context_iteration(nullptr, FALSE)) std::this_thread::sleep_for(2ms);
    }
    return true;
}

bool nameHasOwner(const std::string& name) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return false;
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "NameHasOwner",
                                                  g_variant_new("(s)", name.c_str()), G_VARIANT_TYPE("(b)"),
                                                  G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
    gboolean owned = FALSE;
    if (reply) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    }
    g_object_unref(bus);
    return owned;
}

// The frontend and the tests' desktop side, on this process's private bus.
class PortalDesktop {
public:
    explicit PortalDesktop(bool refuse) {
        const auto portals = folder_.path() / "portals";
        std::filesystem::create_directories(portals);
        std::ofstream(portals / "tavlo-test.portal") << "[portal]\nDBusName=org.tavlo.TestShortcutsPortal\n"
                                                        "Interfaces=org.freedesktop.impl.portal.GlobalShortcuts;\n"
                                                        "UseIn=tavlotest\n";
        std::vector<std::string> backend = {"/usr/bin/python3", backendScript};
        if (refuse) backend.push_back("--refuse");
        backendPid_ = testing::spawn(backend, testing::childEnvironment({}, {}), folder_.path() / "backend.log", nullptr);
        if (!waitForName("org.tavlo.TestShortcutsPortal")) return;
        frontendPid_ = testing::spawn({frontendProgram},
                                      testing::childEnvironment({{"XDG_DESKTOP_PORTAL_DIR", portals.string()},
                                                                 {"XDG_CURRENT_DESKTOP", "tavlotest"}},
                                                                {}),
                                      folder_.path() / "frontend.log", nullptr);
        started_ = waitForName("org.freedesktop.portal.Desktop");
    }
    ~PortalDesktop() {
        if (frontendPid_ > 0) testing::stopProcess(frontendPid_);
        if (backendPid_ > 0) testing::stopProcess(backendPid_);
        // The frontend's name must be gone before the next desktop starts.
        pumpUntil([] { return !nameHasOwner("org.freedesktop.portal.Desktop"); }, 5s);
    }
    bool started() const { return started_; }
    std::string logs() const {
        return testing::readLog(folder_.path() / "frontend.log") + testing::readLog(folder_.path() / "backend.log");
    }
    // What the user does on the desktop's side.
    bool act(const char* method, GVariant* parameters) const {
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        GVariant* reply = g_dbus_connection_call_sync(bus, "org.tavlo.TestShortcutsPortal",
                                                      "/org/freedesktop/portal/desktop", "org.tavlo.TestShortcuts",
                                                      method, parameters, nullptr, G_DBUS_CALL_FLAGS_NONE, 5000,
                                                      nullptr, nullptr);
        if (reply) g_variant_unref(reply);
        g_object_unref(bus);
        return reply != nullptr;
    }

private:
    bool waitForName(const std::string& name) {
        return pumpUntil([&] { return nameHasOwner(name); }, 15s);
    }

    testing::TemporaryDirectory folder_;
    pid_t backendPid_ = -1;
    pid_t frontendPid_ = -1;
    bool started_ = false;
};

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
    PortalDesktop desktop(false);
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
    ASSERT_TRUE(desktop.act("Press", g_variant_new("(s)", "hold")));
    ASSERT_TRUE(desktop.act("Release", g_variant_new("(s)", "hold")));
    ASSERT_TRUE(desktop.act("Press", g_variant_new("(s)", "casual")));
    ASSERT_TRUE(pumpUntil([&] { return heard.changes.size() >= 3; })) << desktop.logs();
    const std::vector<std::pair<std::string, bool>> expected = {{"hold", true}, {"hold", false}, {"casual", true}};
    EXPECT_EQ(heard.changes, expected);

    // The user gives the hold shortcut other keys in the desktop's settings.
    heard.bound.reset();
    ASSERT_TRUE(desktop.act("Rebind", g_variant_new("(ss)", "hold", "SUPER+d")));
    ASSERT_TRUE(pumpUntil([&] { return heard.bound.has_value(); })) << desktop.logs();
    ASSERT_FALSE(heard.bound->empty());
    EXPECT_EQ((*heard.bound)[0].triggerDescription, "SUPER+d");
}

TEST_F(GlobalShortcutsPortalSerially, ARefusalIsToldInWordsAndNothingIsBound) {
    PortalDesktop desktop(true);
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
