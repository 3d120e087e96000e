// `tavlo settings` and `tavlo settings set` on the real executable, as a user
// with a fresh home folder and no session bus.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "harness/RunProgram.h"
#include "harness/TemporaryDirectory.h"

namespace tavlo::testing {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

class SettingsCommand : public ::testing::Test {
protected:
    ProgramResult run(const std::vector<std::string>& args, const std::string& input = "") {
        return runTavlo(args, input, environment);
    }

    nlohmann::ordered_json printed() {
        const auto result = run({"settings"});
        EXPECT_EQ(result.status, 0) << result.err;
        return nlohmann::ordered_json::parse(result.out);
    }

    TemporaryDirectory home;
    std::map<std::string, std::string> environment = freshUserEnvironment(home.path());
    fs::path settingsFile = home / ".config/tavlo/settings.json";
};

TEST_F(SettingsCommand, AFreshMachineGetsTheFirstRunValues) {
    const auto settings = printed();
    std::vector<std::string> names;
    for (const auto& [name, value] : settings.items()) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{
                         "dictionaryWords", "snippets", "recent", "transformStyle", "bubbleFrame", "bubbleVisible",
                         "autoPaste", "shortcuts", "holdTrigger", "pressTrigger", "speechModel",
                         "speechLanguageIdentifier", "openAICloudMode", "hasOpenAIAPIKey", "hasServiceAccessToken",
                         "microphoneUniqueID", "cleanupEnabled", "storageMode", "updateCheckFrequency",
                         "lastAutomaticUpdateCheckAt", "lastPromptedUpdateIdentifier", "whisperModel",
                         "whisperModelBaseURL"}));
    EXPECT_EQ(json(settings), json::parse(R"({
        "dictionaryWords": [],
        "snippets": [
            {"phrase": "insert signature", "expansion": "Best,\n[Your name]"},
            {"phrase": "standup update", "expansion": "Yesterday:\n- \n\nToday:\n- \n\nBlocked:\n- None"},
            {"phrase": "shipping note", "expansion": "Implemented, checked locally, and ready for review."}],
        "recent": [], "transformStyle": "Clean", "bubbleFrame": null, "bubbleVisible": true, "autoPaste": true,
        "shortcuts": {
            "toggle": {"keyCode": 49, "modifiers": 6144, "display": "Ctrl+Alt+Space"},
            "professional": {"keyCode": 19, "modifiers": 2048, "display": "Alt+2"},
            "casual": {"keyCode": 20, "modifiers": 2048, "display": "Alt+3"},
            "list": {"keyCode": 21, "modifiers": 2048, "display": "Alt+4"},
            "clean": {"keyCode": 23, "modifiers": 2048, "display": "Alt+5"}},
        "holdTrigger": {"modifiers": 0, "display": "Fn", "isFunctionKey": true},
        "pressTrigger": {"modifiers": 0, "display": "Fn", "isFunctionKey": true},
        "speechModel": "Apple on-device", "speechLanguageIdentifier": "en_US", "openAICloudMode": "Tavlo service",
        "hasOpenAIAPIKey": false, "hasServiceAccessToken": false, "microphoneUniqueID": null,
        "cleanupEnabled": true, "storageMode": "Local", "updateCheckFrequency": "Weekly",
        "lastAutomaticUpdateCheckAt": null, "lastPromptedUpdateIdentifier": null, "whisperModel": null,
        "whisperModelBaseURL": "https://huggingface.co/ggerganov/whisper.cpp/resolve/main"})"));

    // The first run wrote the values; the next run reads them and writes nothing.
    const std::string written = readFile(settingsFile);
    ASSERT_FALSE(written.empty());
    const auto before = fs::last_write_time(settingsFile);
    EXPECT_EQ(json(printed()), json(settings));
    EXPECT_EQ(readFile(settingsFile), written);
    EXPECT_EQ(fs::last_write_time(settingsFile), before);
}

TEST_F(SettingsCommand, TheEngineFollowsTheLocaleOfTheEnvironment) {
    environment["LC_ALL"] = "de_DE.UTF-8";
    EXPECT_EQ(printed()["speechLanguageIdentifier"], "de_DE");
}

struct Change {
    const char* name;
    const char* property;
    std::string value;
    json shown;
};

class SettingsSet : public SettingsCommand, public ::testing::WithParamInterface<Change> {};

TEST_P(SettingsSet, WritesOneProperty) {
    const auto before = printed();
    const auto result = run({"settings", "set", GetParam().property, GetParam().value});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    auto expected = before;
    expected[GetParam().property] = GetParam().shown;
    EXPECT_EQ(json(printed()), json(expected));
}

INSTANTIATE_TEST_SUITE_P(
    Properties, SettingsSet,
    ::testing::Values(
        Change{"Style", "transformStyle", "Professional", "Professional"},
        Change{"Flag", "autoPaste", "false", false},
        Change{"Engine", "speechModel", "Local Whisper", "Local Whisper"},
        Change{"Dictionary", "dictionaryWords", R"([" Acme ", "", "acme", "Acme"])", json{"Acme", "acme"}},
        Change{"Snippets", "snippets", R"([{"phrase":"my address","expansion":"1 Main Street"}])",
               json::parse(R"([{"phrase":"my address","expansion":"1 Main Street"}])")},
        Change{"History", "recent", R"([{"date":700000000.5,"appName":"Mail","text":"hi"}])",
               json::parse(R"([{"date":700000000.5,"appName":"Mail","text":"hi"}])")},
        Change{"Frame", "bubbleFrame", "{{1200,80},{220,64.5}}", "{{1200, 80}, {220, 64.5}}"},
        Change{"PressTrigger", "pressTrigger", R"({"keyCode":49,"modifiers":4096,"display":"Ctrl+Space","isFunctionKey":false})",
               json::parse(R"({"keyCode":49,"modifiers":4096,"display":"Ctrl+Space","isFunctionKey":false})")},
        Change{"Microphone", "microphoneUniqueID", "alsa_input.usb", "alsa_input.usb"},
        Change{"CheckedAt", "lastAutomaticUpdateCheckAt", "756000000", 756000000.0},
        Change{"Language", "speechLanguageIdentifier", "fr_CA", "fr_CA"},
        Change{"WhisperModel", "whisperModel", "small.en", "small.en"},
        Change{"WhisperModelMirror", "whisperModelBaseURL", "http://127.0.0.1:8080/models/", "http://127.0.0.1:8080/models/"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsCommand, EmptyTextRemovesOptionalValues) {
    ASSERT_EQ(run({"settings", "set", "microphoneUniqueID", "mic"}).status, 0);
    ASSERT_EQ(run({"settings", "set", "bubbleFrame", "{{1, 2}, {3, 4}}"}).status, 0);
    ASSERT_EQ(run({"settings", "set", "microphoneUniqueID", ""}).status, 0);
    ASSERT_EQ(run({"settings", "set", "bubbleFrame", ""}).status, 0);
    // The model choice and the model host go back to the usual order and the public host.
    ASSERT_EQ(run({"settings", "set", "whisperModel", "small.en"}).status, 0);
    ASSERT_EQ(run({"settings", "set", "whisperModelBaseURL", "http://mirror.example/m"}).status, 0);
    ASSERT_EQ(run({"settings", "set", "whisperModel", ""}).status, 0);
    ASSERT_EQ(run({"settings", "set", "whisperModelBaseURL", ""}).status, 0);
    const auto settings = printed();
    EXPECT_TRUE(settings["whisperModel"].is_null());
    EXPECT_EQ(settings["whisperModelBaseURL"], "https://huggingface.co/ggerganov/whisper.cpp/resolve/main");
    EXPECT_TRUE(settings["microphoneUniqueID"].is_null());
    EXPECT_TRUE(settings["bubbleFrame"].is_null());
    const auto file = json::parse(readFile(settingsFile));
    EXPECT_FALSE(file.contains("microphoneUniqueID"));
    EXPECT_FALSE(file.contains("bubbleFrame"));
}

struct Refusal {
    const char* name;
    std::vector<std::string> args;
    const char* errorPart;
};

class SettingsRefusal : public SettingsCommand, public ::testing::WithParamInterface<Refusal> {};

TEST_P(SettingsRefusal, ClearErrorAndNothingChanges) {
    const auto check = [&] {
        const auto result = run(GetParam().args);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find(GetParam().errorPart), std::string::npos) << result.err;
    };
    // On a fresh machine nothing at all is written...
    check();
    EXPECT_FALSE(fs::exists(home / ".config"));
    // ...and on a used one the file stays as it was.
    printed();
    const std::string before = readFile(settingsFile);
    check();
    EXPECT_EQ(readFile(settingsFile), before);
}

INSTANTIATE_TEST_SUITE_P(
    Invocations, SettingsRefusal,
    ::testing::Values(
        Refusal{"UnknownName", {"settings", "set", "colour", "blue"}, "unknown setting \"colour\""},
        Refusal{"StoredKeyIsNotAName", {"settings", "set", "voiceSnippets", "[]"}, "unknown setting"},
        Refusal{"RawValueIsCaseSensitive", {"settings", "set", "transformStyle", "professional"}, "Professional"},
        Refusal{"FlagWord", {"settings", "set", "autoPaste", "yes"}, "true or false"},
        Refusal{"NotJson", {"settings", "set", "dictionaryWords", "Acme, Zed"}, "JSON array of strings"},
        Refusal{"ShortcutsMissingAKey", {"settings", "set", "shortcuts", R"({"toggle":{"keyCode":1,"modifiers":0,"display":"A"}})"}, "shortcuts takes"},
        Refusal{"TriggerWithoutFlag", {"settings", "set", "holdTrigger", R"({"modifiers":0,"display":"Fn"})"}, "holdTrigger takes"},
        Refusal{"ZeroFrame", {"settings", "set", "bubbleFrame", "{{0, 0}, {0, 0}}"}, "bubbleFrame takes"},
        Refusal{"NotADate", {"settings", "set", "lastAutomaticUpdateCheckAt", "yesterday"}, "seconds since"},
        Refusal{"ReadOnly", {"settings", "set", "hasOpenAIAPIKey", "true"}, "tavlo secret set openai-key"},
        Refusal{"NotUtf8", {"settings", "set", "microphoneUniqueID", "mic\xff"}, "UTF-8"},
        Refusal{"MissingValue", {"settings", "set", "autoPaste"}, "usage"},
        // A model's name becomes part of a file name: no way out of the model folder.
        Refusal{"ModelNameWithAPath", {"settings", "set", "whisperModel", "../../secrets"}, "whisperModel takes"},
        Refusal{"ModelHostNotWeb", {"settings", "set", "whisperModelBaseURL", "file:///etc"}, "http or https"},
        // Written as it is, it would make the whole settings file unreadable.
        Refusal{"NestedTooDeeply",
                {"settings", "set", "snippets",
                 R"([{"phrase":"a","expansion":"b","note":)" + std::string(150, '[') + std::string(150, ']') + "}]"},
                "snippets takes"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsCommand, ADamagedFileIsKeptAsideAndDefaultsAreShown) {
    fs::create_directories(settingsFile.parent_path());
    std::ofstream(settingsFile) << R"({"transformStyle": "Casual", )";
    // Nobody has written to it for an hour: no write of it is going on.
    fs::last_write_time(settingsFile, fs::file_time_type::clock::now() - std::chrono::hours(1));
    const auto result = run({"settings"});
    ASSERT_EQ(result.status, 0);
    EXPECT_EQ(json::parse(result.out)["transformStyle"], "Clean");
    EXPECT_NE(result.err.find("could not be read"), std::string::npos) << result.err;
    int kept = 0;
    for (const auto& entry : fs::directory_iterator(settingsFile.parent_path()))
        if (entry.path().filename().string().starts_with("settings.json.damaged-")) {
            ++kept;
            EXPECT_EQ(readFile(entry.path()), R"({"transformStyle": "Casual", )");
        }
    EXPECT_EQ(kept, 1);
}

// An editor rewriting the settings file in place has written half of it when
// the commands run: they neither move it aside nor write over it, and once the
// editor is done its values are the ones in use.
TEST_F(SettingsCommand, AFileBeingWrittenIsNeverMovedAsideNorWrittenOver) {
    printed();
    auto edited = json::parse(readFile(settingsFile));
    edited["transformStyle"] = "Professional";
    edited["dictionaryWords"] = {"Acme"};
    const std::string text = edited.dump(2);
    const int editor = ::open(settingsFile.c_str(), O_WRONLY | O_TRUNC);
    ASSERT_GE(editor, 0);
    const std::size_t half = text.size() / 2;
    ASSERT_EQ(::write(editor, text.data(), half), ssize_t(half));

    const auto shown = run({"settings"});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.err.find("could not be read"), std::string::npos) << shown.err;
    EXPECT_NE(shown.err.find("it is left as it is"), std::string::npos) << shown.err;
    const auto changed = run({"settings", "set", "autoPaste", "false"});
    EXPECT_EQ(changed.status, 1);
    EXPECT_NE(changed.err.find("autoPaste could not be saved"), std::string::npos) << changed.err;
    EXPECT_EQ(readFile(settingsFile), text.substr(0, half));

    ASSERT_EQ(::write(editor, text.data() + half, text.size() - half), ssize_t(text.size() - half));
    ::close(editor);
    const auto settings = printed();
    EXPECT_EQ(settings["transformStyle"], "Professional");
    EXPECT_EQ(json(settings["dictionaryWords"]), json::parse(R"(["Acme"])"));
    EXPECT_EQ(readFile(settingsFile), text);
    for (const auto& entry : fs::directory_iterator(settingsFile.parent_path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with("settings.json.")) << entry.path();
}

// Another writer holds the settings lock and is stopped: the command waits
// for it, then fails and changes nothing, rather than writing without it.
TEST_F(SettingsCommand, AChangeWithoutTheLockFailsAndChangesNothing) {
    printed();
    // Made before the fork: the child of a process with threads may only make
    // plain system calls, and allocating there could crash it before it locks.
    const std::string folder = settingsFile.parent_path().string();
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(1);
        ::raise(SIGSTOP);
        ::_exit(0);
    }
    int stopped = 0;
    ASSERT_EQ(::waitpid(holder, &stopped, WUNTRACED), holder);
    ASSERT_TRUE(WIFSTOPPED(stopped)) << "the lock holder ended before it stopped, with status " << stopped;
    const std::string before = readFile(settingsFile);
    const auto result = run({"settings", "set", "autoPaste", "false"});
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("could not be taken"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("autoPaste could not be saved"), std::string::npos) << result.err;
    EXPECT_EQ(readFile(settingsFile), before);
}

// Several programs changing a large settings file at once: each either
// changes it and says so with status 0, or fails with a message; no change
// reported as made is lost.
TEST_F(SettingsCommand, ConcurrentChangesAreNeverLost) {
    printed();
    auto onDisk = json::parse(readFile(settingsFile));
    onDisk["padding"] = std::vector<std::string>(30'000, std::string(100, 'p'));  // about 3 MB
    std::ofstream(settingsFile, std::ios::trunc) << onDisk.dump();

    const std::vector<std::pair<std::string, std::string>> changes{
        {"transformStyle", "Professional"}, {"autoPaste", "false"},       {"bubbleVisible", "false"},
        {"cleanupEnabled", "false"},        {"storageMode", "Cloud"},      {"updateCheckFrequency", "Daily"},
        {"openAICloudMode", "Own OpenAI key"}, {"microphoneUniqueID", "mic-7"}};
    std::vector<std::thread> writers;
    std::vector<ProgramResult> results(changes.size());
    for (std::size_t i = 0; i < changes.size(); ++i)
        writers.emplace_back([&, i] { results[i] = run({"settings", "set", changes[i].first, changes[i].second}); });
    for (auto& writer : writers) writer.join();

    const auto settings = printed();
    for (std::size_t i = 0; i < changes.size(); ++i) {
        SCOPED_TRACE(changes[i].first);
        if (results[i].status == 0)
            EXPECT_EQ(json(settings[changes[i].first]),
                      changes[i].second == "false" ? json(false) : json(changes[i].second));
        else
            EXPECT_NE(results[i].err.find("could not be saved"), std::string::npos) << results[i].err;
    }
    EXPECT_EQ(json::parse(readFile(settingsFile)).at("padding").size(), 30'000u);
}

// A settings file that cannot be opened (here: another user's, mode 000, as
// that user finds it) is not damaged: it stays in place, untouched, and the
// program runs on the defaults and says why.
TEST_F(SettingsCommand, AFileThatCannotBeOpenedIsLeftAloneAndTheDefaultsApply) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
    printed();
    run({"settings", "set", "transformStyle", "Casual"});
    const std::string before = readFile(settingsFile);
    fs::permissions(settingsFile, fs::perms::none);
    for (const auto& entry : fs::recursive_directory_iterator(home.path()))
        ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown(home.path().c_str(), 65534, 65534), 0);
    auto asNobody = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", TAVLO_BINARY});
        return runProgram("/usr/bin/setpriv", args, "", environment);
    };

    const auto shown = asNobody({"settings"});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(json::parse(shown.out)["transformStyle"], "Clean");
    EXPECT_NE(shown.err.find("cannot be opened (Permission denied); it is left as it is"), std::string::npos)
        << shown.err;
    const auto changed = asNobody({"settings", "set", "autoPaste", "false"});
    EXPECT_EQ(changed.status, 1);
    EXPECT_NE(changed.err.find("autoPaste could not be saved"), std::string::npos) << changed.err;

    EXPECT_EQ(readFile(settingsFile), before);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(settingsFile.parent_path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"settings.json"});
}

TEST_F(SettingsCommand, AChangeThatCannotBeSavedFails) {
    std::ofstream(home / "blocker") << "";
    environment["XDG_CONFIG_HOME"] = (home / "blocker").string();
    const auto result = run({"settings", "set", "autoPaste", "false"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("kept in memory"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("autoPaste could not be saved"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace tavlo::testing
