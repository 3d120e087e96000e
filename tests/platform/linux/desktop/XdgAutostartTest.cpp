// Starting at login through the user's autostart folder, on real files.
#include <gtest/gtest.h>

#include <glib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "harness/TemporaryDirectory.h"
#include "platform/linux/desktop/XdgAutostart.h"
#include "platform/sim/SimulatedHostEnvironment.h"

namespace tavlo {
namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

class XdgAutostartTest : public ::testing::Test {
protected:
    XdgAutostartTest() { host.variables["XDG_CONFIG_HOME"] = (folder.path() / "config").string(); }
    testing::TemporaryDirectory folder;
    SimulatedHostEnvironment host;
};

TEST_F(XdgAutostartTest, TurningOnWritesAnEntryThatStartsThisProgramAndTurningOffRemovesIt) {
    XdgAutostart autostart(host, "/opt/Tavlo 1%/bin/tavlo");
    EXPECT_FALSE(autostart.isEnabled());
    EXPECT_EQ(autostart.entryPath(), folder.path() / "config/autostart/app.tavlo.Tavlo.desktop");

    ASSERT_TRUE(autostart.setEnabled(true));
    EXPECT_TRUE(autostart.isEnabled());
    const std::string entry = read(autostart.entryPath());
    // One quoted argument, the percent sign doubled so it is no field code.
    EXPECT_NE(entry.find("\nExec=\"/opt/Tavlo 1%%/bin/tavlo\"\n"), std::string::npos) << entry;
    EXPECT_EQ(entry.rfind("[Desktop Entry]\nType=Application\n", 0), 0u) << entry;
    struct stat info {};
    ASSERT_EQ(::stat(autostart.entryPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);

    ASSERT_TRUE(autostart.setEnabled(false));
    EXPECT_FALSE(fs::exists(autostart.entryPath()));
    EXPECT_TRUE(autostart.setEnabled(false)) << "already off";
}

TEST_F(XdgAutostartTest, AnInstalledProgramIsStartedByItsCommandNotByThePathOfThisCopy) {
    const fs::path installed = folder.path() / "bin";
    fs::create_directories(installed);
    { std::ofstream(installed / "tavlo") << "#!/bin/sh\n"; }
    fs::permissions(installed / "tavlo", fs::perms::owner_all);
    const fs::path build = folder.path() / "build";
    fs::create_directories(build);
    { std::ofstream(build / "tavlo") << "#!/bin/sh\n"; }
    fs::permissions(build / "tavlo", fs::perms::owner_all);
    host.variables["PATH"] = "relative:" + installed.string() + ":/usr/bin";
    host.executableFiles.insert((installed / "tavlo").string());

    XdgAutostart fromPath(host, installed / "tavlo");
    ASSERT_TRUE(fromPath.setEnabled(true));
    EXPECT_NE(read(fromPath.entryPath()).find("\nExec=tavlo\n"), std::string::npos) << read(fromPath.entryPath());
    // A copy PATH does not find (a build folder) can only be named by its path.
    XdgAutostart fromBuild(host, build / "tavlo");
    ASSERT_TRUE(fromBuild.setEnabled(true));
    EXPECT_NE(read(fromBuild.entryPath()).find("\nExec=\"" + (build / "tavlo").string() + "\"\n"), std::string::npos);
}

// The written entry read back the way desktops read it (GLib's key file
// reader, then its shell-style argument parser): one argument, the path
// exactly, whatever characters the install path has.
TEST_F(XdgAutostartTest, TheEntryNamesTheExactProgramForAnyInstallPath) {
    const std::string paths[] = {
        "/opt/My Apps/tavlo",
        "/opt/say \"hi\"/tavlo",
        "/opt/$HOME/tavlo",
        "/opt/`id`/tavlo",
        "/opt/back\\slash\\/tavlo",
        "/opt/all \" $ ` \\ ' ; & | < > ~ * ? # ( ) 100%/tavlo",
        "/opt/tab\there/line\nbreak/tavlo",
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        XdgAutostart autostart(host, path);
        ASSERT_TRUE(autostart.setEnabled(true));

        GKeyFile* file = g_key_file_new();
        GError* error = nullptr;
        ASSERT_TRUE(g_key_file_load_from_file(file, autostart.entryPath().c_str(), G_KEY_FILE_NONE, &error))
            << error->message;
        gchar* exec = g_key_file_get_string(file, "Desktop Entry", "Exec", &error);
        ASSERT_NE(exec, nullptr) << error->message;
        // The one field code rule that applies to a line without codes.
        std::string command = exec;
        for (std::size_t at = command.find("%%"); at != std::string::npos; at = command.find("%%", at + 1))
            command.erase(at, 1);
        gint argc = 0;
        gchar** argv = nullptr;
        EXPECT_TRUE(g_shell_parse_argv(command.c_str(), &argc, &argv, &error)) << (error ? error->message : "") << exec;
        if (argv) {
            ASSERT_EQ(argc, 1) << exec;
            EXPECT_EQ(std::string(argv[0]), path) << exec;
        }
        g_strfreev(argv);
        g_free(exec);
        g_clear_error(&error);
        g_key_file_free(file);
    }
}

TEST_F(XdgAutostartTest, AnEntrySwitchedOffByTheDesktopOrNotAPlainFileReadsAsOff) {
    XdgAutostart autostart(host, "/usr/bin/tavlo");
    fs::create_directories(autostart.entryPath().parent_path());
    for (const char* off : {"Hidden=true", "X-GNOME-Autostart-enabled=false"}) {
        std::ofstream(autostart.entryPath()) << "[Desktop Entry]\nType=Application\nExec=tavlo\n" << off << "\n";
        EXPECT_FALSE(autostart.isEnabled()) << off;
    }
    fs::remove(autostart.entryPath());
    std::ofstream(folder.path() / "elsewhere.desktop") << XdgAutostart::entryText("/usr/bin/tavlo");
    fs::create_symlink(folder.path() / "elsewhere.desktop", autostart.entryPath());
    EXPECT_FALSE(autostart.isEnabled());
    // Turning it on replaces the link with a file of our own; the target is untouched.
    ASSERT_TRUE(autostart.setEnabled(true));
    EXPECT_FALSE(fs::is_symlink(autostart.entryPath()));
    EXPECT_TRUE(autostart.isEnabled());
    EXPECT_EQ(read(folder.path() / "elsewhere.desktop"), XdgAutostart::entryText("/usr/bin/tavlo"));
}

TEST_F(XdgAutostartTest, AFolderThatCannotBeMadeIsAFailureNotASilentSuccess) {
    std::ofstream(folder.path() / "config") << "a file where the folder should be";
    XdgAutostart autostart(host, "/usr/bin/tavlo");
    EXPECT_FALSE(autostart.setEnabled(true));
    EXPECT_FALSE(autostart.isEnabled());
}

}  // namespace
}  // namespace tavlo
