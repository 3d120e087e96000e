// The settings file on real files: its readable form, atomic replacement,
// changes by other processes, a damaged file and a folder that cannot be written.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>

#include <nlohmann/json.hpp>

#include "harness/TemporaryDirectory.h"
#include "platform/linux/files/FilePreferenceStore.h"
#include "platform/sim/InMemorySecretStore.h"
#include "platform/sim/ManualWallClock.h"
#include "platform/sim/SimulatedHostEnvironment.h"
#include "settings/SettingsStore.h"

namespace tavlo::testing {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void writeFile(const fs::path& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

// A file nobody has written to for an hour: no write of it is going on.
void makeOld(const fs::path& path) {
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(1));
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class FilePreferenceStoreTest : public ::testing::Test {
protected:
    FilePreferenceStore open() {
        return FilePreferenceStore(folder, [this](const std::string& line) { reports.push_back(line); });
    }

    TemporaryDirectory temporary;
    fs::path folder = temporary / "config/tavlo";
    fs::path file = folder / "settings.json";
    std::vector<std::string> reports;
};

TEST_F(FilePreferenceStoreTest, EveryKindOfValueSurvivesARestartInAReadableFile) {
    const Date when = dateFromReferenceSeconds(756'000'000.25);
    const std::vector<std::string> words{"Acme", "Zürich"};
    {
        auto store = open();
        EXPECT_FALSE(store.object("autoPaste"));
        store.set("autoPaste", true);
        store.set("volume", 0.5);
        store.set("speechLanguage", std::string("de_DE"));
        store.set("dictionaryWords", words);
        store.set("shortcuts", BinaryData{R"({"toggle":{"keyCode":49}})"});
        store.set("raw", BinaryData{std::string("\x00\xff\x01", 3)});
        store.set("checkedAt", when);
        store.set("gone", true);
        store.remove("gone");
    }
    auto store = open();
    EXPECT_EQ(store.object("autoPaste"), PreferenceValue(true));
    EXPECT_EQ(store.object("volume"), PreferenceValue(0.5));
    EXPECT_EQ(store.string("speechLanguage"), "de_DE");
    EXPECT_EQ(store.stringArray("dictionaryWords"), words);
    EXPECT_EQ(json::parse(store.data("shortcuts")->bytes), json::parse(R"({"toggle":{"keyCode":49}})"));
    EXPECT_EQ(store.data("raw")->bytes, std::string("\x00\xff\x01", 3));
    EXPECT_EQ(store.date("checkedAt"), when);
    EXPECT_FALSE(store.object("gone"));
    EXPECT_TRUE(reports.empty());

    // A person can read and edit it: plain values, records as JSON, in the order written.
    auto onDisk = nlohmann::ordered_json::parse(readFile(file));
    EXPECT_NEAR(onDisk.at("checkedAt").at("date").get<double>(), 756'000'000.25, 1e-6);
    onDisk.erase("checkedAt");
    EXPECT_EQ(onDisk.dump(), nlohmann::ordered_json::parse(R"({
        "autoPaste": true, "volume": 0.5, "speechLanguage": "de_DE", "dictionaryWords": ["Acme", "Zürich"],
        "shortcuts": {"data": {"toggle": {"keyCode": 49}}}, "raw": {"base64": "AP8B"}})").dump());
}

TEST_F(FilePreferenceStoreTest, HandWrittenValuesAreRead) {
    fs::create_directories(folder);
    writeFile(file, R"({"voiceSnippets": [{"phrase": "sig", "expansion": "Best"}],
                        "shortcuts": {"toggle": {"keyCode": 1}, "casual": {"keyCode": 2}},
                        "microphoneUniqueID": null, "mixed": ["a", 1]})");
    auto store = open();
    EXPECT_EQ(json::parse(store.data("voiceSnippets")->bytes), json::parse(R"([{"phrase":"sig","expansion":"Best"}])"));
    EXPECT_TRUE(store.data("shortcuts"));
    EXPECT_FALSE(store.object("microphoneUniqueID"));
    EXPECT_EQ(store.data("mixed")->bytes, R"(["a",1])");
    EXPECT_FALSE(store.stringArray("mixed"));
}

TEST_F(FilePreferenceStoreTest, WritesReplaceTheFileAndLeaveNothingElse) {
    auto store = open();
    store.set("a", std::string("first"));
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    EXPECT_EQ(before.st_mode & 0777, 0600u);  // the history is private
    struct stat folderInfo {};
    ASSERT_EQ(::stat(folder.c_str(), &folderInfo), 0);
    EXPECT_EQ(folderInfo.st_mode & 0777, 0700u);

    store.set("a", std::string("second"));
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);  // a new file was renamed into place
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"settings.json"});
}

// A writer killed at any moment leaves the old or the new file, never a mix.
TEST_F(FilePreferenceStoreTest, KillingAWriterNeverLeavesATornFile) {
    const std::string small(10, 's');
    const std::string large(200'000, 'L');  // many write calls per save
    {
        auto store = open();
        store.set("payload", small);
    }
    std::mt19937 random(12345);
    for (int round = 0; round < 25; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FilePreferenceStore writer(folder, [](const std::string&) {});
            for (int i = 0;; ++i) writer.set("payload", i % 2 ? small : large);
        }
        ::usleep(std::uniform_int_distribution<useconds_t>(0, 20'000)(random));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);

        const auto onDisk = json::parse(readFile(file));  // throws if torn
        const auto payload = onDisk.at("payload").get<std::string>();
        EXPECT_TRUE(payload == small || payload == large) << "round " << round;
    }
    auto store = open();
    EXPECT_TRUE(store.string("payload"));
    EXPECT_TRUE(reports.empty());
}

TEST_F(FilePreferenceStoreTest, ALinkedSettingsFileStaysALink) {
    const auto dotfiles = temporary / "dotfiles/settings.json";
    fs::create_directories(dotfiles.parent_path());
    writeFile(dotfiles, R"({"autoPaste": true})");
    fs::create_directories(folder);
    fs::create_symlink(dotfiles, file);

    auto store = open();
    EXPECT_EQ(store.object("autoPaste"), PreferenceValue(true));
    store.set("autoPaste", false);
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(json::parse(readFile(dotfiles)).at("autoPaste"), false);
}

TEST_F(FilePreferenceStoreTest, ChangesByAnotherProcessAreSeen) {
    auto mine = open();
    auto theirs = open();
    mine.set("transformStyle", std::string("Clean"));
    EXPECT_EQ(theirs.string("transformStyle"), "Clean");

    // Their write of another key does not lose mine, and I see theirs.
    theirs.set("autoPaste", false);
    mine.set("bubbleVisible", true);
    EXPECT_EQ(mine.object("autoPaste"), PreferenceValue(false));
    EXPECT_EQ(open().string("transformStyle"), "Clean");

    // An edit in place, same size, by a text editor or a script.
    const std::string text = readFile(file);
    std::string edited = text;
    edited.replace(edited.find("Clean"), 5, "Lists");
    writeFile(file, edited);
    EXPECT_EQ(mine.string("transformStyle"), "Lists");

    fs::remove(file);
    EXPECT_FALSE(mine.object("transformStyle"));
}

struct Damage {
    const char* name;
    std::string contents;
};

class DamagedSettingsFile : public FilePreferenceStoreTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedSettingsFile, IsKeptAsideAndTheProgramStartsWithDefaults) {
    fs::create_directories(folder);
    writeFile(file, GetParam().contents);
    makeOld(file);

    InMemorySecretStore secrets;
    SimulatedHostEnvironment host;
    ManualWallClock clock;
    auto preferences = open();
    SettingsStore store(preferences, secrets, host, clock);

    EXPECT_EQ(store.transformStyle(), TransformStyle::clean);
    EXPECT_EQ(store.snippets(), VoiceSnippet::defaults());

    // The damaged file is beside the new one, byte for byte, and one line says so.
    const auto names = namesIn(folder);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "settings.json");
    EXPECT_TRUE(names[1].starts_with("settings.json.damaged-")) << names[1];
    EXPECT_EQ(readFile(folder / names[1]), GetParam().contents);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("could not be read"), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find(names[1]), std::string::npos) << reports[0];
    EXPECT_EQ(json::parse(readFile(file)).at("transformStyle"), "Clean");
}

INSTANTIATE_TEST_SUITE_P(
    Contents, DamagedSettingsFile,
    ::testing::Values(Damage{"Truncated", R"({"transformStyle": "Casual", "autoPa)"},
                      Damage{"NotAnObject", R"(["transformStyle", "Casual"])"},
                      Damage{"NotUtf8", "{\"transformStyle\": \"Cas\xff\"}"},
                      Damage{"Empty", ""},
                      // Nested so deeply that walking it would exhaust the stack.
                      Damage{"NestedTooDeeply", "{\"recentDictations\": " + std::string(50'000, '[') +
                                                    std::string(50'000, ']') + "}"}),
    [](const auto& info) { return std::string(info.param.name); });

// An editor rewriting the file in place: it truncates it, writes half, and
// writes the rest a moment later. Whoever reads it meanwhile never moves it
// aside nor writes over it; once whole, the editor's values are read.
struct HalfWritten {
    const char* name;
    bool readBefore;  // the store had read the whole file before the editor began
};

class HalfWrittenSettingsFile : public FilePreferenceStoreTest, public ::testing::WithParamInterface<HalfWritten> {};

TEST_P(HalfWrittenSettingsFile, IsNeverMovedAsideNorWrittenOver) {
    fs::create_directories(folder);
    writeFile(file, R"({"transformStyle": "Casual", "autoPaste": false})");
    std::optional<FilePreferenceStore> store;
    const auto start = [&] { store.emplace(folder, [this](const std::string& line) { reports.push_back(line); }); };
    if (GetParam().readBefore) start();

    const std::string edited = R"({"transformStyle": "Professional", "speechLanguage": "de_DE"})";
    const int editor = ::open(file.c_str(), O_WRONLY | O_TRUNC);
    ASSERT_GE(editor, 0);
    const std::size_t half = edited.size() / 2;
    ASSERT_EQ(::write(editor, edited.data(), half), ssize_t(half));

    if (!store) start();
    // The values last read whole, or the defaults when there are none.
    EXPECT_EQ(store->string("transformStyle"),
              GetParam().readBefore ? std::optional<std::string>("Casual") : std::nullopt);
    store->set("bubbleVisible", true);
    store->remove("transformStyle");
    EXPECT_TRUE(store->keepsChangesInMemory());
    EXPECT_FALSE(store->object("transformStyle"));
    EXPECT_EQ(readFile(file), edited.substr(0, half));
    ASSERT_EQ(reports.size(), 1u) << ::testing::PrintToString(reports);
    EXPECT_NE(reports[0].find("could not be read"), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("it is left as it is"), std::string::npos) << reports[0];

    ASSERT_EQ(::write(editor, edited.data() + half, edited.size() - half), ssize_t(edited.size() - half));
    ::close(editor);
    EXPECT_EQ(store->string("transformStyle"), "Professional");
    EXPECT_FALSE(store->keepsChangesInMemory());
    store->set("autoPaste", true);  // saved again, over the editor's whole file
    EXPECT_EQ(json::parse(readFile(file)),
              json::parse(R"({"transformStyle": "Professional", "speechLanguage": "de_DE", "autoPaste": true})"));
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"settings.json"});
    EXPECT_EQ(reports.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Moments, HalfWrittenSettingsFile,
                         ::testing::Values(HalfWritten{"WhileTheProgramRuns", true},
                                           HalfWritten{"WhenTheProgramStarts", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FilePreferenceStoreTest, TwoDamagedFilesInOneSecondBothSurvive) {
    fs::create_directories(folder);
    for (const char* contents : {"first {", "second {"}) {
        writeFile(file, contents);
        makeOld(file);
        auto store = open();
        EXPECT_FALSE(store.object("anything"));
    }
    EXPECT_EQ(namesIn(folder).size(), 2u);
    EXPECT_EQ(reports.size(), 2u);
}

// A writer that holds the folder lock and is stopped (SIGSTOP, a debugger, a
// hung disk): the others wait for it, then refuse to change anything rather
// than write without the lock and drop its change or theirs.
TEST_F(FilePreferenceStoreTest, AChangeWithoutTheLockIsRefusedNotWritten) {
    {
        auto store = open();
        store.set("transformStyle", std::string("Clean"));
    }
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(1);
        ::raise(SIGSTOP);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(holder, &status, WUNTRACED), holder);
    ASSERT_TRUE(WIFSTOPPED(status));

    FilePreferenceStore store(folder, [this](const std::string& line) { reports.push_back(line); },
                              std::chrono::milliseconds(300));
    const std::string before = readFile(file);
    store.set("transformStyle", std::string("Casual"));
    store.remove("transformStyle");
    EXPECT_EQ(readFile(file), before);
    EXPECT_EQ(store.string("transformStyle"), "Clean");  // not even in memory
    EXPECT_EQ(store.refusedChanges(), 2);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE(reports[0].find("could not be taken (another program has held it for 0 seconds); transformStyle "
                              "was not changed"),
              std::string::npos)
        << reports[0];

    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    store.set("transformStyle", std::string("Casual"));
    EXPECT_EQ(json::parse(readFile(file)).at("transformStyle"), "Casual");
    EXPECT_EQ(store.refusedChanges(), 2);
}

// A writer killed between creating its hidden copy and renaming it leaves the
// copy behind; the next save removes copies too old to belong to a live write.
TEST_F(FilePreferenceStoreTest, StaleHiddenCopiesAreRemovedOnTheNextSave) {
    auto store = open();
    store.set("a", std::string("first"));
    auto age = [&](const std::string& name, std::chrono::seconds old) {
        writeFile(folder / name, "{\"partial");
        const auto when = fs::file_time_type::clock::now() - old;
        fs::last_write_time(folder / name, when);
    };
    age(".settings.json.Ab3xY9", std::chrono::hours(1));   // left by a killed writer
    age(".settings.json.Zz1qQ2", std::chrono::seconds(5));  // could be a write going on now
    age(".settings.json.damaged", std::chrono::hours(1));   // not one of the copies
    age("notes.txt", std::chrono::hours(1));
    store.set("a", std::string("second"));
    EXPECT_EQ(namesIn(folder),
              (std::vector<std::string>{".settings.json.Zz1qQ2", ".settings.json.damaged", "notes.txt", "settings.json"}));
}

// A history with one entry that cannot be read: the others are shown, and the
// write that records the next dictation first keeps the old value beside the
// settings file, where the user finds it with the damaged files.
TEST_F(FilePreferenceStoreTest, AListThatCannotBeReadWholeIsKeptAsideBeforeItIsReplaced) {
    fs::create_directories(folder);
    writeFile(file, R"({"recentDictations": [{"date": 1, "appName": "A", "text": "kept"}, {"date": "bad"}]})");
    InMemorySecretStore secrets;
    SimulatedHostEnvironment host;
    ManualWallClock clock;
    auto preferences = open();
    SettingsStore store(preferences, secrets, host, clock);
    ASSERT_EQ(store.recent().size(), 1u);
    store.addRecent("new", "Notes");

    const auto history = store.recent();
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[1].text, "kept");
    std::vector<std::string> kept;
    for (const auto& name : namesIn(folder))
        if (name.starts_with("settings.json.recentDictations.unreadable-")) kept.push_back(name);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(json::parse(readFile(folder / kept[0])),
              json::parse(R"([{"date": 1, "appName": "A", "text": "kept"}, {"date": "bad"}])"));
    struct stat info {};
    ASSERT_EQ(::stat((folder / kept[0]).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("could not be read whole; it was kept as " + (folder / kept[0]).string()),
              std::string::npos)
        << reports[0];
}

// Programs finishing dictations at the same moment each read a stored list,
// add to it and write it back: every addition of every program is kept.
struct ConcurrentAddition {
    const char* name;
    void (*add)(SettingsStore& store, const std::string& unique);
    std::vector<std::string> (*stored)(SettingsStore& store);
};

class ConcurrentAdditions : public FilePreferenceStoreTest,
                            public ::testing::WithParamInterface<ConcurrentAddition> {};

TEST_P(ConcurrentAdditions, AreAllKept) {
    constexpr int processes = 4;
    constexpr int additionsEach = 7;  // 28 history entries: all within the kept 30
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    std::vector<pid_t> children;
    for (int process = 0; process < processes; ++process) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(start[1]);
            char go = 0;
            if (::read(start[0], &go, 1) < 0) ::_exit(2);  // all start together when the pipe closes
            InMemorySecretStore secrets;
            SimulatedHostEnvironment host;
            ManualWallClock clock;
            FilePreferenceStore preferences(folder, [](const std::string&) {});
            SettingsStore store(preferences, secrets, host, clock);
            for (int round = 0; round < additionsEach; ++round)
                GetParam().add(store, "Term" + std::string(1, char('A' + process)) + char('a' + round));
            ::_exit(0);
        }
        children.push_back(child);
    }
    ::close(start[0]);
    ::close(start[1]);
    for (const pid_t child : children) {
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }

    InMemorySecretStore secrets;
    SimulatedHostEnvironment host;
    ManualWallClock clock;
    auto preferences = open();
    SettingsStore store(preferences, secrets, host, clock);
    const auto stored = GetParam().stored(store);
    std::vector<std::string> missing;
    for (int process = 0; process < processes; ++process)
        for (int round = 0; round < additionsEach; ++round) {
            const std::string unique = "Term" + std::string(1, char('A' + process)) + char('a' + round);
            if (std::find(stored.begin(), stored.end(), unique) == stored.end()) missing.push_back(unique);
        }
    EXPECT_TRUE(missing.empty()) << ::testing::PrintToString(missing);
    EXPECT_TRUE(reports.empty()) << ::testing::PrintToString(reports);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ConcurrentAdditions,
    ::testing::Values(
        ConcurrentAddition{"History", [](SettingsStore& store, const std::string& unique) { store.addRecent(unique, "Notes"); },
                           [](SettingsStore& store) {
                               std::vector<std::string> texts;
                               for (const auto& entry : store.recent()) texts.push_back(entry.text);
                               return texts;
                           }},
        ConcurrentAddition{"LearnedWords",
                           [](SettingsStore& store, const std::string& unique) {
                               store.learnLikelyTerms("we met " + unique + " today");
                           },
                           [](SettingsStore& store) { return store.dictionaryWords(); }},
        ConcurrentAddition{"Snippets",
                           [](SettingsStore& store, const std::string& unique) {
                               store.updateSnippets([&](std::vector<VoiceSnippet>& snippets) {
                                   snippets.push_back({unique, "expansion"});
                               });
                           },
                           [](SettingsStore& store) {
                               std::vector<std::string> phrases;
                               for (const auto& snippet : store.snippets()) phrases.push_back(snippet.phrase);
                               return phrases;
                           }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FilePreferenceStoreTest, AnUnwritableFolderKeepsWorkingInMemoryAndSaysSoOnce) {
    // A regular file where a parent folder should be stops even root.
    writeFile(temporary / "blocker", "");
    folder = temporary / "blocker/tavlo";
    auto store = open();
    store.set("autoPaste", true);
    store.set("transformStyle", std::string("List"));
    store.remove("autoPaste");

    EXPECT_EQ(store.string("transformStyle"), "List");
    EXPECT_FALSE(store.object("autoPaste"));
    EXPECT_TRUE(store.keepsChangesInMemory());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("kept in memory"), std::string::npos) << reports[0];
}

}  // namespace
}  // namespace tavlo::testing
