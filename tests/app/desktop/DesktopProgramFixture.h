#pragma once
// The whole program on a private desktop: Xvfb with openbox, a session bus
// with the accessibility bus, and the user's own folders in a temporary home.
// The program is the real executable; tests act as a user would and look at
// what the user would see: fields, the diagnostics log, the settings file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include "harness/AccessibilityBus.h"
#include "harness/TemporaryDirectory.h"
#include "harness/TextFieldApplication.h"
#include "harness/XvfbDesktop.h"

namespace tavlo::testing {

using namespace std::chrono_literals;

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

inline bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// Sets environment variables for the program this test starts, and puts the
// old values back afterwards.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const std::map<std::string, std::string>& values) {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name.c_str());
            saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            ::setenv(name.c_str(), value.c_str(), 1);
        }
    }
    ~ScopedEnvironment() {
        for (const auto& [name, value] : saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class DesktopProgramFixture : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& missing : {XvfbDesktop::missingPrograms(), AccessibilityBus::missingPrograms(),
                                    TextFieldApplication::missingPrograms(Toolkit::gtk3)})
            if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing;
        auto& bus = AccessibilityBus::shared();
        ASSERT_TRUE(bus.running()) << bus.error();
        ASSERT_TRUE(std::filesystem::create_directories(home.path() / "runtime"));
        std::filesystem::permissions(home.path() / "runtime", std::filesystem::perms::owner_all);
    }

    // The user's own folders; the session bus, display and sound server are
    // the private ones this process already uses.
    std::map<std::string, std::string> userEnvironment() const {
        auto environment = freshUserEnvironment(home.path());
        environment.erase("DBUS_SESSION_BUS_ADDRESS");
        environment["XDG_RUNTIME_DIR"] = (home.path() / "runtime").string();
        environment["QT_QPA_PLATFORM"] = "xcb";
        return environment;
    }
    std::string diagnostics() const { return readFile(home.path() / ".local/state/tavlo/Tavlo.log"); }
    // The program has launched (its launch line is in the log).
    bool launched() const {
        return waitFor([&] { return diagnostics().find("launch bundle=") != std::string::npos; }, 30s);
    }

    TemporaryDirectory home;
};

}  // namespace tavlo::testing
