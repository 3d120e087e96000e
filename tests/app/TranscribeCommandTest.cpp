// `tavlo transcribe FILE` on the real executable: its refusals, its messages,
// and the diagnostics log it leaves in the user's state folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "harness/RunProgram.h"
#include "harness/TemporaryDirectory.h"

namespace tavlo::testing {
namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class TranscribeCommand : public ::testing::Test {
protected:
    TranscribeCommand() { std::ofstream(source, std::ios::binary) << "not really audio"; }

    ProgramResult run(const std::vector<std::string>& args) { return runTavlo(args, "", environment); }
    void setSetting(const std::string& name, const std::string& value) {
        const auto result = run({"settings", "set", name, value});
        ASSERT_EQ(result.status, 0) << result.err;
    }

    TemporaryDirectory home;
    std::map<std::string, std::string> environment = freshUserEnvironment(home.path());
    fs::path source = home.path() / "memo.m4a";
};

TEST_F(TranscribeCommand, RefusalsPrintTheirMessageAndAreLogged) {
    struct Case {
        const char* model;
        const char* message;
    };
    const Case cases[] = {
        {"Apple on-device", "Choose Local Whisper or OpenAI cloud before transcribing a file."},
        // The test's home has no Whisper model.
        {"Local Whisper", "Local Whisper is required for file transcription, or switch Speech to OpenAI cloud."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        setSetting("speechModel", c.model);
        const auto result = run({"transcribe", source.string()});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, std::string("tavlo: ") + c.message + "\n");
        EXPECT_NE(read(home.path() / ".local/state/tavlo/Tavlo.log").find(std::string("] present error=") + c.message),
                  std::string::npos);
    }
    EXPECT_EQ(read(source), "not really audio");
}

TEST_F(TranscribeCommand, OwnKeyModeWithoutAKeyIsRefused) {
    setSetting("speechModel", "OpenAI cloud");
    setSetting("openAICloudMode", "Own OpenAI key");
    const auto result = run({"transcribe", source.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "tavlo: Save your OpenAI API key in Home before using Own OpenAI key mode.\n");
}

TEST_F(TranscribeCommand, WithoutAStateFolderSettingTheLogGoesUnderTheHomeFolder) {
    environment.erase("XDG_STATE_HOME");
    const auto result = run({"transcribe", source.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(read(home.path() / ".local/state/tavlo/Tavlo.log").find("present error="), std::string::npos);
}

TEST_F(TranscribeCommand, NeedsExactlyOneFile) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"transcribe"}, std::vector<std::string>{"transcribe", "a.m4a", "b.m4a"}}) {
        const auto result = run(args);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err, "usage: tavlo transcribe FILE\n");
    }
}

}  // namespace
}  // namespace tavlo::testing
