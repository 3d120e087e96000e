// The default recognition engine: local Whisper when it is installed with a
// model for the language, and the user's locale from the environment.
#include "settings/SettingsStoreFixture.h"
#include "settings/LocalWhisperAvailability.h"
#include "settings/LocaleIdentifier.h"

namespace tavlo::testing {
namespace {

struct Installation {
    const char* name;
    std::vector<std::string> executables;
    std::vector<std::string> models;  // file names in the model folder
    const char* language;
    bool available;
};

class LocalWhisperAvailability : public ::testing::TestWithParam<Installation> {};

TEST_P(LocalWhisperAvailability, NeedsAnExecutableAndAModelForTheLanguage) {
    SimulatedHostEnvironment host;
    host.home = "/home/ada";
    for (const auto& path : GetParam().executables) host.executableFiles.insert(path);
    for (const auto& model : GetParam().models) host.files.insert("/home/ada/.cache/whisper.cpp/" + model);
    const auto locations = WhisperInstallLocations::standard(host.home);
    EXPECT_EQ(localWhisperIsAvailable(GetParam().language, locations, host), GetParam().available);
}

INSTANTIATE_TEST_SUITE_P(
    Machines, LocalWhisperAvailability,
    ::testing::Values(
        Installation{"ServerAndEnglishModel", {"/usr/local/bin/whisper-server"}, {"ggml-base.en.bin"}, "en_US", true},
        Installation{"CliInHomebrew", {"/opt/homebrew/bin/whisper-cli"}, {"ggml-tiny.en.bin"}, "en_GB", true},
        Installation{"WrapperInHome", {"/home/ada/.local/bin/whisper"}, {"ggml-tiny.bin"}, "en", true},
        Installation{"MultilingualModelForEnglish", {"/usr/local/bin/whisper-cli"}, {"ggml-base.bin"}, "en_US", true},
        Installation{"EnglishOnlyModelForGerman", {"/usr/local/bin/whisper-cli"}, {"ggml-base.en.bin"}, "de_DE", false},
        Installation{"MultilingualModelForGerman", {"/usr/local/bin/whisper-cli"}, {"ggml-tiny.bin"}, "de_DE", true},
        Installation{"NoLanguageCode", {"/usr/local/bin/whisper-cli"}, {"ggml-tiny.en.bin"}, "", false},
        Installation{"OtherModelSize", {"/usr/local/bin/whisper-cli"}, {"ggml-large-v3.bin"}, "en_US", false},
        Installation{"ModelWithoutProgram", {}, {"ggml-base.en.bin"}, "en_US", false},
        Installation{"ProgramElsewhere", {"/usr/bin/whisper-cli"}, {"ggml-base.en.bin"}, "en_US", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WhisperInstallLocations, SearchOrderAndModelFolder) {
    const auto locations = WhisperInstallLocations::standard("/home/ada");
    EXPECT_EQ(locations.executables,
              (std::vector<std::string>{"/opt/homebrew/bin/whisper-server", "/usr/local/bin/whisper-server",
                                        "/opt/homebrew/bin/whisper-cli", "/usr/local/bin/whisper-cli",
                                        "/home/ada/.local/bin/whisper"}));
    EXPECT_EQ(locations.modelDirectory, "/home/ada/.cache/whisper.cpp");
    EXPECT_EQ(whisperModelCandidates("en_US"),
              (std::vector<std::string>{"ggml-base.en.bin", "ggml-tiny.en.bin", "ggml-base.bin", "ggml-tiny.bin"}));
    EXPECT_EQ(whisperModelCandidates("fr"), (std::vector<std::string>{"ggml-base.bin", "ggml-tiny.bin"}));
}

struct LocaleEnvironment {
    const char* name;
    std::map<std::string, std::string, std::less<>> variables;
    const char* identifier;
};

class CurrentLocale : public ::testing::TestWithParam<LocaleEnvironment> {};

TEST_P(CurrentLocale, FromTheFirstSetVariable) {
    SimulatedHostEnvironment host;
    host.variables = GetParam().variables;
    EXPECT_EQ(currentLocaleIdentifier(host), GetParam().identifier);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, CurrentLocale,
    ::testing::Values(
        LocaleEnvironment{"LangWithCodeset", {{"LANG", "de_DE.UTF-8"}}, "de_DE"},
        LocaleEnvironment{"LcAllWins", {{"LC_ALL", "fr_CA.UTF-8"}, {"LC_MESSAGES", "de_DE"}, {"LANG", "it_IT"}}, "fr_CA"},
        LocaleEnvironment{"MessagesBeforeLang", {{"LC_MESSAGES", "pt_BR.utf8"}, {"LANG", "it_IT"}}, "pt_BR"},
        LocaleEnvironment{"EmptyIsSkipped", {{"LC_ALL", ""}, {"LANG", "nl_NL"}}, "nl_NL"},
        LocaleEnvironment{"Modifier", {{"LANG", "ca_ES@valencia"}}, "ca_ES"},
        LocaleEnvironment{"C", {{"LANG", "C"}}, "en_US"},
        LocaleEnvironment{"CUtf8", {{"LC_ALL", "C.UTF-8"}}, "en_US"},
        LocaleEnvironment{"Posix", {{"LC_ALL", "POSIX"}, {"LANG", "de_DE"}}, "en_US"},
        LocaleEnvironment{"NothingSet", {}, "en_US"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LanguageCode, OfIdentifiers) {
    EXPECT_EQ(languageCode("en_US"), "en");
    EXPECT_EQ(languageCode("de"), "de");
    EXPECT_EQ(languageCode("zh_Hant_TW"), "zh");
    EXPECT_EQ(languageCode(""), std::nullopt);
    EXPECT_EQ(languageCode("_US"), std::nullopt);
}

class SpeechModelReading : public SettingsStoreTest {
protected:
    void installEnglishOnlyWhisper() {
        host.executableFiles.insert("/usr/local/bin/whisper-server");
        host.files.insert(host.home + "/.cache/whisper.cpp/ggml-base.en.bin");
    }
};

TEST_F(SpeechModelReading, FirstRunValueFollowsTheInstallation) {
    installEnglishOnlyWhisper();
    EXPECT_EQ(open().speechModel(), SpeechModel::localWhisper);
    EXPECT_EQ(preferences.string("speechModel"), "Local Whisper");
}

TEST_F(SpeechModelReading, FirstRunValueForAnotherLanguageWithoutAFittingModel) {
    installEnglishOnlyWhisper();
    host.variables["LANG"] = "de_DE.UTF-8";
    open();
    EXPECT_EQ(preferences.string("speechModel"), "Apple on-device");
}

TEST_F(SpeechModelReading, StoredStringsAndTheRuleWhenNothingIsStored) {
    installEnglishOnlyWhisper();
    SettingsStore& store = open();
    for (const auto& [stored, model] : std::vector<std::pair<std::string, SpeechModel>>{
             {"Local Whisper", SpeechModel::localWhisper},
             {"OpenAI cloud", SpeechModel::openAICloud},
             {"Apple on-device", SpeechModel::appleOnDevice},
             {"local whisper", SpeechModel::appleOnDevice},
             {"", SpeechModel::appleOnDevice}}) {
        preferences.set("speechModel", stored);
        EXPECT_EQ(store.speechModel(), model) << stored;
    }

    // Nothing stored: the rule, for the stored speech language.
    preferences.remove("speechModel");
    preferences.set("speechLanguage", std::string("en_AU"));
    EXPECT_EQ(store.speechModel(), SpeechModel::localWhisper);
    preferences.set("speechLanguage", std::string("es_ES"));
    EXPECT_EQ(store.speechModel(), SpeechModel::appleOnDevice);
    // No stored language: the current locale's.
    preferences.remove("speechLanguage");
    EXPECT_EQ(store.speechModel(), SpeechModel::localWhisper);
    EXPECT_EQ(store.speechLanguageIdentifier(), "en_US");
}

}  // namespace
}  // namespace tavlo::testing
