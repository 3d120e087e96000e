// Finding whisper.cpp on disk: which back end is chosen, which model file,
// which language code, and the exact command lines and work files.
#include <gtest/gtest.h>

#include "engine/whisper/LocalWhisperReadiness.h"
#include "engine/whisper/LocalWhisperTranscriber.h"
#include "engine/whisper/WhisperCommands.h"
#include "engine/whisper/WhisperInstallation.h"
#include "engine/whisper/WhisperLanguage.h"
#include "engine/whisper/WhisperTestFiles.h"

namespace tavlo {
namespace {

namespace fs = std::filesystem;
using testing::ScratchFolder;

class WhisperInstallationTest : public ::testing::Test {
protected:
    WhisperInstallationTest() {
        locations_.homeDirectory = scratch_.path() / "home";
        locations_.dataDirectory = scratch_.path() / "share" / "tavlo";
        for (const char* folder : {"opt", "local", "usr"}) {
            const fs::path bin = scratch_.path() / folder / "bin";
            locations_.whisperServerCandidates.push_back(bin / "whisper-server");
            locations_.whisperCliCandidates.push_back(bin / "whisper-cli");
            locations_.ffmpegCandidates.push_back(bin / "ffmpeg");
        }
    }
    fs::path cacheModel(const char* name) { return scratch_.path() / "home" / ".cache" / "whisper.cpp" / name; }
    fs::path bundledModel(const char* name) { return scratch_.path() / "share" / "tavlo" / "WhisperModels" / name; }
    fs::path bin(const char* folder, const char* tool) { return scratch_.path() / folder / "bin" / tool; }

    ScratchFolder scratch_;
    WhisperSearchLocations locations_;
};

TEST_F(WhisperInstallationTest, BackEndChoice) {
    struct Case {
        const char* name;
        bool server, cli, ffmpeg, model;
        int expected;  // 0 none, 1 server, 2 command line
    };
    for (const Case& c : {Case{"both tools: the server is preferred", true, true, true, true, 1},
                          Case{"only the command line", false, true, true, true, 2},
                          Case{"server without ffmpeg counts as not installed", true, false, false, true, 0},
                          Case{"command line without ffmpeg counts as not installed", false, true, false, true, 0},
                          Case{"no model", true, true, true, false, 0},
                          Case{"neither tool", false, false, true, true, 0}}) {
        ScratchFolder scratch;
        WhisperSearchLocations locations;
        locations.homeDirectory = scratch.path();
        locations.whisperServerCandidates = {scratch.path() / "bin/whisper-server"};
        locations.whisperCliCandidates = {scratch.path() / "bin/whisper-cli"};
        locations.ffmpegCandidates = {scratch.path() / "bin/ffmpeg"};
        if (c.server) ScratchFolder::makeExecutable(scratch.path() / "bin/whisper-server");
        if (c.cli) ScratchFolder::makeExecutable(scratch.path() / "bin/whisper-cli");
        if (c.ffmpeg) ScratchFolder::makeExecutable(scratch.path() / "bin/ffmpeg");
        if (c.model) ScratchFolder::write(scratch.path() / ".cache/whisper.cpp/ggml-base.en.bin", "model");

        const auto backend = chooseLocalWhisperBackend(locations, "en_US", 18131);
        EXPECT_EQ(LocalWhisperTranscriber::localWhisperStatus("en_US", locations), c.expected != 0) << c.name;
        switch (c.expected) {
            case 0:
                EXPECT_FALSE(backend) << c.name;
                break;
            case 1:
                ASSERT_TRUE(backend) << c.name;
                EXPECT_EQ(*backend, LocalWhisperBackend(WhisperServerBackend{
                                        "http://127.0.0.1:18131/", scratch.path() / ".cache/whisper.cpp/ggml-base.en.bin"}))
                    << c.name;
                break;
            case 2:
                ASSERT_TRUE(backend) << c.name;
                EXPECT_EQ(*backend, LocalWhisperBackend(WhisperCliBackend{
                                        scratch.path() / "bin/whisper-cli",
                                        scratch.path() / ".cache/whisper.cpp/ggml-base.en.bin"}))
                    << c.name;
                break;
        }
    }
}

TEST_F(WhisperInstallationTest, ExecutablesAreTakenInListOrderAndMustBeExecutable) {
    ScratchFolder::write(bin("opt", "ffmpeg"), "not executable");
    ScratchFolder::makeExecutable(bin("usr", "ffmpeg"));
    ScratchFolder::makeExecutable(bin("local", "ffmpeg"));
    fs::create_directories(bin("opt", "whisper-cli"));  // a folder is no executable
    ScratchFolder::makeExecutable(bin("usr", "whisper-cli"));

    EXPECT_EQ(firstExecutable(locations_.ffmpegCandidates), bin("local", "ffmpeg"));
    EXPECT_EQ(firstExecutable(locations_.whisperCliCandidates), bin("usr", "whisper-cli"));
    EXPECT_EQ(firstExecutable(locations_.whisperServerCandidates), std::nullopt);
}

TEST_F(WhisperInstallationTest, StandardListsEndWithTheSystemFolder) {
    const auto standard = WhisperSearchLocations::standard();
    EXPECT_EQ(standard.whisperServerCandidates,
              (std::vector<fs::path>{"/opt/homebrew/bin/whisper-server", "/usr/local/bin/whisper-server",
                                     "/usr/bin/whisper-server"}));
    EXPECT_EQ(standard.whisperCliCandidates,
              (std::vector<fs::path>{"/opt/homebrew/bin/whisper-cli", "/usr/local/bin/whisper-cli",
                                     "/usr/bin/whisper-cli"}));
    EXPECT_EQ(standard.ffmpegCandidates,
              (std::vector<fs::path>{"/opt/homebrew/bin/ffmpeg", "/usr/local/bin/ffmpeg", "/usr/bin/ffmpeg"}));
}

TEST_F(WhisperInstallationTest, ModelChoiceByLanguageAndFolderOrder) {
    struct Case {
        const char* name;
        std::vector<fs::path> present;
        const char* language;
        std::optional<fs::path> expected;
        std::optional<std::string> chosen = std::nullopt;
    };
    const std::vector<Case> cases{
        {"a chosen model wins over the usual order", {cacheModel("ggml-base.en.bin"), cacheModel("ggml-small.en.bin")},
         "en_US", cacheModel("ggml-small.en.bin"), "ggml-small.en.bin"},
        {"a chosen model in the cache wins over the bundled folder's",
         {bundledModel("ggml-tiny.en.bin"), cacheModel("ggml-large-v3-turbo.bin")}, "en_US",
         cacheModel("ggml-large-v3-turbo.bin"), "ggml-large-v3-turbo.bin"},
        {"a chosen model that is not installed leaves the usual order", {cacheModel("ggml-base.bin")}, "de_DE",
         cacheModel("ggml-base.bin"), "ggml-small.bin"},
        {"a chosen name with a folder in it is never looked up",
         {cacheModel("ggml-base.bin"), cacheModel("../ggml-small.en.bin")}, "en_US", cacheModel("ggml-base.bin"),
         "../ggml-small.en.bin"},
        {"English prefers the English-only model in the same folder",
         {cacheModel("ggml-base.bin"), cacheModel("ggml-base.en.bin")}, "en_US", cacheModel("ggml-base.en.bin")},
        {"English takes the tiny English model before the multilingual base",
         {cacheModel("ggml-base.bin"), cacheModel("ggml-tiny.en.bin")}, "en_GB", cacheModel("ggml-tiny.en.bin")},
        {"the bundled folder wins over the cache, whatever the names",
         {bundledModel("ggml-tiny.en.bin"), cacheModel("ggml-base.en.bin")}, "en_US", bundledModel("ggml-tiny.en.bin")},
        {"German ignores English-only models", {cacheModel("ggml-base.en.bin"), cacheModel("ggml-base.bin")}, "de_DE",
         cacheModel("ggml-base.bin")},
        {"German with only an English model has none", {cacheModel("ggml-base.en.bin")}, "de_DE", std::nullopt},
        {"German passes over a chosen English-only model",
         {cacheModel("ggml-small.en.bin"), cacheModel("ggml-tiny.bin")}, "de_DE", cacheModel("ggml-tiny.bin"),
         "ggml-small.en.bin"},
        {"German with only a chosen English-only model has none", {cacheModel("ggml-small.en.bin")}, "de_DE",
         std::nullopt, "ggml-small.en.bin"},
        {"multilingual tiny as the last resort", {cacheModel("ggml-tiny.bin")}, "fr_FR", cacheModel("ggml-tiny.bin")},
        {"no language code: multilingual names only", {cacheModel("ggml-base.en.bin"), cacheModel("ggml-tiny.bin")},
         "", cacheModel("ggml-tiny.bin")},
    };
    for (const auto& c : cases) {
        ScratchFolder scratch;
        WhisperSearchLocations locations;
        locations.homeDirectory = scratch.path() / "home";
        locations.dataDirectory = scratch.path() / "share" / "tavlo";
        locations.chosenModelFile = c.chosen;
        auto rebase = [&](const fs::path& p) { return scratch.path() / p.lexically_relative(scratch_.path()); };
        for (const auto& file : c.present) ScratchFolder::write(rebase(file), "model");
        const auto expected = c.expected ? std::optional<fs::path>(rebase(*c.expected)) : std::nullopt;
        EXPECT_EQ(whisperCppModel(locations, c.language), expected) << c.name;
    }
}

TEST_F(WhisperInstallationTest, WhatIsMissingIsToldWithWhatToDo) {
    const std::string noModelEnglish =
        "Local Whisper has no model yet: download base.en in Home, or run tavlo models download base.en.";
    const std::string germanNeedsMultilingual =
        "German needs a multilingual Whisper model: download base in Home, or run tavlo models download base.";
    struct Case {
        const char* name;
        bool server, cli, ffmpeg;
        std::vector<const char*> models;  // in the cache folder
        const char* language;
        std::optional<LocalWhisperGap> gap;
        std::string message;
        std::optional<const char*> chosen = std::nullopt;
    };
    const std::vector<Case> cases{
        {"ready", true, false, true, {"ggml-base.en.bin"}, "en_US", std::nullopt, ""},
        {"no whisper.cpp, whatever else is there", false, false, false, {}, "de_DE", LocalWhisperGap::noWhisperProgram,
         "Local Whisper needs whisper.cpp: install its whisper-server or whisper-cli program (the README shows how)."},
        {"no ffmpeg", false, true, false, {"ggml-base.en.bin"}, "en_US", LocalWhisperGap::noFfmpeg,
         "Local Whisper needs ffmpeg: install it with your distribution's package manager."},
        {"no model for English", true, true, true, {}, "en_GB", LocalWhisperGap::noModel, noModelEnglish},
        {"no model for French", true, true, true, {}, "fr_FR", LocalWhisperGap::noModel,
         "Local Whisper has no model yet: download base in Home, or run tavlo models download base."},
        {"German with the English base model", false, true, true, {"ggml-base.en.bin"}, "de_DE",
         LocalWhisperGap::onlyEnglishModels, germanNeedsMultilingual},
        {"Swiss German with a chosen English model", true, false, true, {"ggml-small.en.bin"}, "de_CH",
         LocalWhisperGap::onlyEnglishModels, germanNeedsMultilingual, "ggml-small.en.bin"},
        {"a language without a name", true, false, true, {"ggml-tiny.en.bin"}, "qqq", LocalWhisperGap::onlyEnglishModels,
         "This language needs a multilingual Whisper model: download base in Home, or run tavlo models download base."},
        {"a file that is no model is no English model", true, false, true, {"ggml-.en.bin.part"}, "de_DE",
         LocalWhisperGap::noModel,
         "Local Whisper has no model yet: download base in Home, or run tavlo models download base."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder scratch;
        WhisperSearchLocations locations;
        locations.homeDirectory = scratch.path();
        locations.whisperServerCandidates = {scratch.path() / "bin/whisper-server"};
        locations.whisperCliCandidates = {scratch.path() / "bin/whisper-cli"};
        locations.ffmpegCandidates = {scratch.path() / "bin/ffmpeg"};
        if (c.chosen) locations.chosenModelFile = *c.chosen;
        if (c.server) ScratchFolder::makeExecutable(scratch.path() / "bin/whisper-server");
        if (c.cli) ScratchFolder::makeExecutable(scratch.path() / "bin/whisper-cli");
        if (c.ffmpeg) ScratchFolder::makeExecutable(scratch.path() / "bin/ffmpeg");
        for (const char* name : c.models) ScratchFolder::write(scratch.path() / ".cache/whisper.cpp" / name, "model");

        const auto gap = localWhisperGap(locations, c.language);
        EXPECT_EQ(gap, c.gap);
        if (!gap) continue;
        const DictationEngineError error = localWhisperUnavailable(*gap, c.language);
        EXPECT_EQ(error.errorCase(), DictationEngineError::Case::localWhisperUnavailable);
        EXPECT_EQ(error.errorDescription(), c.message);
        // Words for the user: no folder of this machine in them.
        EXPECT_EQ(c.message.find(scratch.path().string()), std::string::npos);
    }
}

TEST_F(WhisperInstallationTest, DataFolderIsSearchedOnlyWhenItExists) {
    EXPECT_EQ(locations_.modelFolders(), (std::vector<fs::path>{scratch_.path() / "home/.cache/whisper.cpp"}));
    fs::create_directories(*locations_.dataDirectory);
    EXPECT_EQ(locations_.modelFolders(), (std::vector<fs::path>{scratch_.path() / "share/tavlo/WhisperModels",
                                                               scratch_.path() / "home/.cache/whisper.cpp"}));
}

TEST_F(WhisperInstallationTest, WithoutAHomeThereIsNoCacheFolderAndNoHomeInPath) {
    fs::create_directories(*locations_.dataDirectory);
    locations_.homeDirectory.clear();
    EXPECT_EQ(locations_.modelFolders(), (std::vector<fs::path>{scratch_.path() / "share/tavlo/WhisperModels"}));
    EXPECT_EQ(whisperChildEnvironment({}).at("PATH"), "/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin");
}

TEST(WhisperLanguageCodes, FromLocaleIdentifiers) {
    struct Case {
        const char* locale;
        std::optional<std::string> code;
    };
    for (const Case& c : {Case{"en_US", "en"}, Case{"de_DE", "de"}, Case{"nb_NO", "no"}, Case{"nb", "no"},
                          Case{"nn_NO", "nn"}, Case{"pt-BR", "pt"}, Case{"zh_Hans_CN", "zh"}, Case{"yue_HK", "yue"},
                          Case{"haw_US", "haw"}, Case{"tlh", std::nullopt}, Case{"gsw_CH", std::nullopt},
                          Case{"", std::nullopt}, Case{"_US", std::nullopt}}) {
        EXPECT_EQ(whisperLanguageCode(c.locale), c.code) << c.locale;
    }
    EXPECT_TRUE(isWhisperLanguageCode("jw"));
    EXPECT_FALSE(isWhisperLanguageCode("nb"));
    EXPECT_FALSE(isWhisperLanguageCode("EN"));
}

TEST(WhisperCommandLines, ThreadCountFollowsTheProcessors) {
    for (auto [processors, threads] : std::vector<std::pair<unsigned, int>>{{0, 4}, {2, 4}, {4, 4}, {6, 4}, {8, 6},
                                                                          {10, 8}, {16, 8}, {64, 8}})
        EXPECT_EQ(whisperThreadCount(processors), threads) << processors;
}

TEST(WhisperCommandLines, ExactArguments) {
    const auto files = LocalWhisperWorkFiles::forAudio("/tmp/Sorvel Whisper/rec ü.caf");
    EXPECT_EQ(files.wav, "/tmp/Sorvel Whisper/rec ü.wav");
    EXPECT_EQ(files.outputBase, "/tmp/Sorvel Whisper/rec ü-cpp");
    EXPECT_EQ(files.outputText, "/tmp/Sorvel Whisper/rec ü-cpp.txt");

    EXPECT_EQ(ffmpegConversionArguments(files.audio, files.wav),
              (std::vector<std::string>{"-y", "-loglevel", "error", "-i", "/tmp/Sorvel Whisper/rec ü.caf", "-ar",
                                        "16000", "-ac", "1", "-c:a", "pcm_s16le", "/tmp/Sorvel Whisper/rec ü.wav"}));
    const std::vector<std::string> cliBase{"-m",  "/m/ggml-base.bin", "-f",  "/tmp/Sorvel Whisper/rec ü.wav",
                                           "-t",  "6",                "-bo", "1",
                                           "-bs", "1",                "-otxt", "-of",
                                           "/tmp/Sorvel Whisper/rec ü-cpp", "-np", "-nt"};
    auto withLanguage = cliBase;
    withLanguage.insert(withLanguage.end(), {"-l", "no"});
    EXPECT_EQ(whisperCliArguments("/m/ggml-base.bin", files, 6, whisperLanguageCode("nb_NO")), withLanguage);
    // Left out, the language would be English; "auto" detects it.
    auto detecting = cliBase;
    detecting.insert(detecting.end(), {"-l", "auto"});
    EXPECT_EQ(whisperCliArguments("/m/ggml-base.bin", files, 6, whisperLanguageCode("tlh")), detecting);

    EXPECT_EQ(whisperServerArguments("/m/ggml-base.bin", 18131, 4, "auto"),
              (std::vector<std::string>{"-m", "/m/ggml-base.bin", "--host", "127.0.0.1", "--port", "18131", "-t", "4",
                                        "-bo", "1", "-bs", "1", "-nt", "-l", "auto"}));
    EXPECT_EQ(whisperChildEnvironment("/home/ana"),
              (std::map<std::string, std::string>{
                  {"PATH", "/home/ana/.local/bin:/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin"}}));
}

TEST(WhisperCommandLines, AWavRecordingIsNeverItsOwnConversionTarget) {
    const auto files = LocalWhisperWorkFiles::forAudio("/tmp/SorvelWhisper/file-AB.wav");
    EXPECT_EQ(files.audio, "/tmp/SorvelWhisper/file-AB.wav");
    EXPECT_NE(files.wav, files.audio);
    EXPECT_EQ(files.wav, "/tmp/SorvelWhisper/file-AB-16k.wav");
    EXPECT_EQ(files.outputText, "/tmp/SorvelWhisper/file-AB-cpp.txt");
}

}  // namespace
}  // namespace tavlo
