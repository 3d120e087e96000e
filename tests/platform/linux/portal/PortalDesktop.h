#pragma once
// The real xdg-desktop-portal frontend on this process's private session
// bus, with a desktop side of the tests behind it (a Python script of the
// harness implementing one documented backend interface) and a permission
// store of its own (for restore tokens), all in a temporary folder. Each
// program is stopped by its process id when the object goes away.
#include <gio/gio.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "harness/ChildProcesses.h"
#include "harness/TemporaryDirectory.h"

namespace tavlo::portal {

inline constexpr const char* frontendProgram = "/usr/libexec/xdg-desktop-portal";
inline constexpr const char* permissionStoreProgram = "/usr/libexec/xdg-permission-store";

// Runs GLib's main context (where portal answers arrive) until `done`.
template <typename Done>
bool pumpUntil(Done done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (!g_main_context_iteration(nullptr, FALSE)) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline bool nameHasOwner(const std::string& name) {
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

class PortalDesktop {
public:
    struct Side {
        std::string script;      // in the harness folder
        std::string busName;     // the name it owns
        std::string interface;   // the backend interface it implements
        std::vector<std::string> arguments;
    };

    explicit PortalDesktop(const Side& side) : side_(side) {
        const auto portals = folder_.path() / "portals";
        std::filesystem::create_directories(portals);
        std::ofstream(portals / "tavlo-test.portal") << "[portal]\nDBusName=" << side.busName
                                                     << "\nInterfaces=" << side.interface << ";\nUseIn=tavlotest\n";
        const auto data = (folder_.path() / "data").string();
        storePid_ = testing::spawn({permissionStoreProgram, "--replace"},
                                   testing::childEnvironment({{"XDG_DATA_HOME", data}}, {}),
                                   folder_.path() / "store.log", nullptr);
        std::vector<std::string> backend = {"/usr/bin/python3",
                                            std::string(TAVLO_TEST_SOURCE_DIR) + "/harness/" + side.script};
        backend.insert(backend.end(), side.arguments.begin(), side.arguments.end());
        backendPid_ = testing::spawn(backend, testing::childEnvironment({}, {}), folder_.path() / "backend.log", nullptr);
        if (!waitForName(side.busName) || !waitForName("org.freedesktop.impl.portal.PermissionStore")) return;
        frontendPid_ = testing::spawn({frontendProgram},
                                      testing::childEnvironment({{"XDG_DESKTOP_PORTAL_DIR", portals.string()},
                                                                 {"XDG_CURRENT_DESKTOP", "tavlotest"},
                                                                 {"XDG_DATA_HOME", data}},
                                                                {}),
                                      folder_.path() / "frontend.log", nullptr);
        started_ = waitForName("org.freedesktop.portal.Desktop");
    }
    ~PortalDesktop() {
        for (pid_t pid : {frontendPid_, backendPid_, storePid_})
            if (pid > 0) testing::stopProcess(pid);
        // The names must be gone before the next desktop starts.
        pumpUntil([] { return !nameHasOwner("org.freedesktop.portal.Desktop"); }, std::chrono::seconds(5));
    }
    PortalDesktop(const PortalDesktop&) = delete;
    PortalDesktop& operator=(const PortalDesktop&) = delete;

    bool started() const { return started_; }
    std::string logs() const {
        return testing::readLog(folder_.path() / "frontend.log") + testing::readLog(folder_.path() / "backend.log");
    }
    // Calls the desktop side's test interface (`interface`.`method`); its reply, or null.
    GVariant* act(const char* interface, const char* method, GVariant* parameters) const {
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        GVariant* reply = g_dbus_connection_call_sync(bus, side_.busName.c_str(), "/org/freedesktop/portal/desktop",
                                                      interface, method, parameters, nullptr, G_DBUS_CALL_FLAGS_NONE,
                                                      5000, nullptr, nullptr);
        g_object_unref(bus);
        return reply;
    }

private:
    bool waitForName(const std::string& name) {
        return pumpUntil([&] { return nameHasOwner(name); }, std::chrono::seconds(15));
    }

    Side side_;
    testing::TemporaryDirectory folder_;
    pid_t storePid_ = -1;
    pid_t backendPid_ = -1;
    pid_t frontendPid_ = -1;
    bool started_ = false;
};

}  // namespace tavlo::portal
