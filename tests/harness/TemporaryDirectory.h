#pragma once
// A fresh folder under the system's temporary directory, removed with everything
// in it when the object goes away.
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <string>

namespace tavlo::testing {

class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tavlo-test-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The environment for running the program as a user with a fresh, empty home
// folder in `home`, and no session bus, so no real keyring is ever touched.
inline std::map<std::string, std::string> freshUserEnvironment(const std::filesystem::path& home) {
    return {
        {"HOME", home.string()},
        {"XDG_CONFIG_HOME", (home / ".config").string()},
        {"XDG_DATA_HOME", (home / ".local/share").string()},
        {"XDG_STATE_HOME", (home / ".local/state").string()},
        {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
        // Empty counts as unset: work files go under TMPDIR, which tests choose.
        {"XDG_RUNTIME_DIR", ""},
        {"LC_ALL", "en_US.UTF-8"},
    };
}

}  // namespace tavlo::testing
