// The real file adapters: work copies in the temporary folder and documents
// written for the user.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "harness/TemporaryDirectory.h"
#include "platform/PlatformError.h"
#include "platform/linux/files/SystemTemporaryFiles.h"
#include "platform/linux/files/SystemUserFiles.h"
#include "platform/sim/SimulatedHostEnvironment.h"

namespace tavlo {
namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
void write(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

std::string failureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const PlatformError& error) {
        return error.what();
    }
    return "<no failure>";
}

TEST(DocumentsFolder, ReadFromTheDesktopsUserFolders) {
    struct Case {
        const char* text;
        std::optional<fs::path> expected;
    };
    const Case cases[] = {
        {"XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n", "/home/u/Dokumente"},
        {"# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"/data/docs\"\n", "/data/docs"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/\"\n", "/home/u"},
        {"XDG_DOCUMENTS_DIR=\"relative/docs\"\n", std::nullopt},
        {"XDG_DOCUMENTS_DIR=\"$HOMEWORK/docs\"\n", std::nullopt},
        {"XDG_DOCUMENTS_DIR=$HOME/unquoted\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(documentsFolderFromUserDirs(c.text, "/home/u"), c.expected) << c.text;
}

TEST(SystemUserFiles, DocumentsFolderFollowsUserDirsElseHome) {
    testing::TemporaryDirectory scratch;
    SimulatedHostEnvironment host;
    host.home = (scratch.path() / "home").string();
    EXPECT_EQ(SystemUserFiles(host).documentsDirectory(), scratch.path() / "home" / "Documents");

    fs::create_directories(scratch.path() / "config");
    host.variables["XDG_CONFIG_HOME"] = (scratch.path() / "config").string();
    write(scratch.path() / "config" / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Papiere\"\n");
    EXPECT_EQ(SystemUserFiles(host).documentsDirectory(), scratch.path() / "home" / "Papiere");

    host.home.clear();
    EXPECT_EQ(SystemUserFiles(host).documentsDirectory(), std::nullopt);
}

TEST(SystemUserFiles, ANewDocumentNeverReplacesAnythingAndTakesTheNextFreeName) {
    testing::TemporaryDirectory scratch;
    SimulatedHostEnvironment host;
    SystemUserFiles files(host);
    const fs::path preferred = scratch.path() / "talk-transcript.txt";
    auto named = [&](const char* name) { return scratch.path() / name; };
    auto mode = [](const fs::path& file) {
        struct stat info {};
        EXPECT_EQ(::lstat(file.c_str(), &info), 0) << file;
        return info.st_mode & 0777;
    };

    const mode_t saved = ::umask(022);
    EXPECT_EQ(files.writeNewTextFile(preferred, "Grüße."), preferred);
    EXPECT_EQ(read(preferred), "Grüße.");
    EXPECT_EQ(mode(preferred), 0644u);

    // Taken names are skipped, whatever takes them: the user's file, a link
    // (never followed), a folder. The user's umask sets the new file's mode.
    ::umask(077);
    EXPECT_EQ(files.writeNewTextFile(preferred, "second"), named("talk-transcript 2.txt"));
    EXPECT_EQ(mode(named("talk-transcript 2.txt")), 0600u);
    ::umask(saved);
    EXPECT_EQ(read(preferred), "Grüße.");
    write(scratch.path() / "elsewhere", "not to be touched");
    fs::create_symlink(scratch.path() / "elsewhere", named("talk-transcript 3.txt"));
    fs::create_directories(named("talk-transcript 4.txt"));
    EXPECT_EQ(files.writeNewTextFile(preferred, "third"), named("talk-transcript 5.txt"));
    EXPECT_EQ(read(scratch.path() / "elsewhere"), "not to be touched");
    EXPECT_EQ(read(named("talk-transcript 5.txt")), "third");

    // Failures name the file and the folder; no hidden copy is left behind.
    const fs::path missingFolder = scratch.path() / "gone" / "talk-transcript.txt";
    EXPECT_EQ(failureOf([&] { files.writeNewTextFile(missingFolder, "x"); }),
              "Could not write \"talk-transcript.txt\" in \"" + (scratch.path() / "gone").string() +
                  "\": No such file or directory.");
    const fs::path crowded = scratch.path() / "crowded";
    fs::create_directories(crowded);
    write(crowded / "a.txt", "");
    for (int number = 2; number <= SystemUserFiles::maximumNames; ++number)
        write(crowded / ("a " + std::to_string(number) + ".txt"), "");
    EXPECT_EQ(failureOf([&] { files.writeNewTextFile(crowded / "a.txt", "x"); }),
              "Could not write \"a 100.txt\" in \"" + crowded.string() + "\": File exists.");
    for (const auto& folder : {scratch.path(), crowded})
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_NE(entry.path().filename().string().front(), '.') << "left behind: " << entry.path();

    write(scratch.path() / "plain", "");
    EXPECT_EQ(failureOf([&] { files.createDirectories(scratch.path() / "plain" / "sub"); }),
              (scratch.path() / "plain").string() + " is not a folder.");
}

// The work folder must be ours alone: a link, a folder of another user's or
// one that others can open is refused, and what we create is mode 0700.
TEST(SystemTemporaryFiles, WorkFoldersArePrivate) {
    testing::TemporaryDirectory scratch;
    const fs::path root = scratch.path() / "work root";
    SystemTemporaryFiles files(root);
    files.createDirectories(root / "SorvelWhisper");
    for (const fs::path& folder : {root, root / "SorvelWhisper"}) {
        struct stat info {};
        ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u) << folder;
    }

    const std::string refusal = "The work folder \"" + root.string() +
                                "\" is not private to this user: it must be a folder (not a link) owned by this "
                                "user that no one else can open. Remove it and try again.";
    fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    EXPECT_EQ(failureOf([&] { files.createDirectories(root / "SorvelWhisper"); }), refusal);
    fs::permissions(root, fs::perms::owner_all);
    ASSERT_EQ(::chown(root.c_str(), 65534, 65534), 0);  // tests run as root: "nobody" owns it now
    EXPECT_EQ(failureOf([&] { files.createDirectories(root / "SorvelCloud"); }), refusal);
    fs::remove_all(root);
    fs::create_directories(scratch.path() / "elsewhere");
    fs::permissions(scratch.path() / "elsewhere", fs::perms::owner_all);
    fs::create_directory_symlink(scratch.path() / "elsewhere", root);
    EXPECT_EQ(failureOf([&] { files.createDirectories(root / "SorvelWhisper"); }), refusal);
    EXPECT_FALSE(fs::exists(scratch.path() / "elsewhere" / "SorvelWhisper"));
}

TEST(SystemTemporaryFiles, CopiesExactlyAndNeverOverwrites) {
    testing::TemporaryDirectory scratch;
    SystemTemporaryFiles files(scratch.path());
    EXPECT_EQ(files.temporaryDirectory(), scratch.path());
    std::string bytes(200000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    write(scratch.path() / "source.m4a", bytes);

    files.createDirectories(scratch.path() / "work" / "nested");
    const fs::path copy = scratch.path() / "work" / "nested" / "file-1.m4a";
    files.copyFile(scratch.path() / "source.m4a", copy);
    EXPECT_EQ(read(copy), bytes);

    write(copy, "keep me");
    EXPECT_EQ(failureOf([&] { files.copyFile(scratch.path() / "source.m4a", copy); }),
              "Could not create the work copy of \"source.m4a\": File exists.");
    EXPECT_EQ(read(copy), "keep me");

    EXPECT_EQ(failureOf([&] { files.copyFile(scratch.path() / "missing.m4a", scratch.path() / "c1"); }),
              "Could not read \"missing.m4a\": No such file or directory.");
    EXPECT_EQ(failureOf([&] { files.copyFile(scratch.path() / "work", scratch.path() / "c2"); }),
              "\"work\" is not a regular file; only audio or video files can be transcribed.");
    EXPECT_FALSE(fs::exists(scratch.path() / "c1"));
    EXPECT_FALSE(fs::exists(scratch.path() / "c2"));

    files.removeFile(copy);
    files.removeFile(copy);  // already gone: ignored
    EXPECT_FALSE(fs::exists(copy));
}

}  // namespace
}  // namespace tavlo

namespace tavlo {
namespace {

// Each run works in a folder of its own, locked while it runs: it is removed
// when the run ends, and a killed run's folder by the next run.
TEST(SystemTemporaryFiles, EachRunHasItsOwnFolderAndAKilledRunsFolderIsRemovedByTheNext) {
    testing::TemporaryDirectory scratch;
    const fs::path root = scratch.path() / "work";
    auto first = SystemTemporaryFiles::forThisProcess(root);
    const fs::path folder = first->temporaryDirectory();
    EXPECT_EQ(folder.parent_path(), root);
    EXPECT_EQ(folder.filename().string().rfind("run-" + std::to_string(::getpid()) + "-", 0), 0u);
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    first->createDirectories(folder / "SorvelWhisper");
    write(folder / "SorvelWhisper" / "recording.wav", "voice");

    // A killed run: its lock file is there but nobody holds it.
    const fs::path killed = root / "run-1-deadbeef";
    fs::create_directories(killed / "SorvelCloud");
    write(killed / "lock", "");
    write(killed / "SorvelCloud" / "recording.m4a", "voice");
    // Not ours to judge: something else, and a link to a folder elsewhere.
    fs::create_directories(root / "SorvelWhisper");
    fs::create_directories(scratch.path() / "elsewhere");
    write(scratch.path() / "elsewhere" / "keep", "");
    fs::create_symlink(scratch.path() / "elsewhere", root / "run-2-link");

    auto second = SystemTemporaryFiles::forThisProcess(root);
    EXPECT_NE(second->temporaryDirectory(), folder);
    EXPECT_FALSE(fs::exists(killed)) << "a killed run's files are removed";
    EXPECT_EQ(read(folder / "SorvelWhisper" / "recording.wav"), "voice") << "a running one's are not";
    EXPECT_TRUE(fs::exists(root / "SorvelWhisper"));
    EXPECT_TRUE(fs::exists(scratch.path() / "elsewhere" / "keep"));

    first.reset();
    EXPECT_FALSE(fs::exists(folder)) << "a run removes its own folder when it ends";
    EXPECT_TRUE(fs::exists(second->temporaryDirectory()));
    const fs::path secondFolder = second->temporaryDirectory();
    second.reset();
    EXPECT_FALSE(fs::exists(secondFolder));
}

}  // namespace
}  // namespace tavlo
