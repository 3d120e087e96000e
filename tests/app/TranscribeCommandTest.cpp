// `tavlo transcribe FILE` on the real executable: its refusals, its messages,
// and the diagnostics log it leaves in the user's state folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "harness/RunProgram.h"
#include "harness/ScriptedHttpServer.h"
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
    TranscribeCommand() {
        std::ofstream(source, std::ios::binary) << "not really audio";
        fs::create_directories(temporary);
        environment["TMPDIR"] = temporary.string();
    }

    // Working copies are removed whatever the outcome.
    void expectNoWorkFilesLeft() {
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(temporary, error))
            if (entry.is_regular_file()) ADD_FAILURE() << "left behind: " << entry.path();
    }

    ProgramResult run(const std::vector<std::string>& args, const std::string& input = "") {
        return runTavlo(args, input, environment);
    }
    void setSetting(const std::string& name, const std::string& value) {
        const auto result = run({"settings", "set", name, value});
        ASSERT_EQ(result.status, 0) << result.err;
    }

    TemporaryDirectory home;
    std::map<std::string, std::string> environment = freshUserEnvironment(home.path());
    fs::path source = home.path() / "memo.m4a";
    fs::path temporary = home.path() / "tmp";
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

TEST_F(TranscribeCommand, TheCloudTranscribesAndTheTextIsPrintedAndSavedBesideTheFile) {
    ScriptedHttpServer openAI;
    environment["TAVLO_OPENAI_BASE_URL"] = openAI.baseURL();
    openAI.answerNext({200, R"({"text":"the meeting is at noon"})"});
    setSetting("speechModel", "OpenAI cloud");
    setSetting("openAICloudMode", "Own OpenAI key");
    ASSERT_EQ(run({"secret", "set", "openai-key"}, "sk-test-key\n").status, 0);

    const auto result = run({"transcribe", source.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "The meeting is at noon.\n");
    const fs::path saved = home.path() / "memo-transcript.txt";
    EXPECT_EQ(result.err, "tavlo: transcript saved to " + saved.string() + "\n");
    EXPECT_EQ(read(saved), "The meeting is at noon.");
    EXPECT_EQ(read(source), "not really audio");

    const auto requests = openAI.requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& request = requests[0];
    EXPECT_EQ(request.path, "/v1/audio/transcriptions");
    EXPECT_EQ(request.header("Authorization"), "Bearer sk-test-key");
    // The working copy keeps the file's type; a file has no dictionary prompt.
    EXPECT_NE(request.body.find("Content-Type: audio/mp4\r\n\r\nnot really audio"), std::string::npos);
    EXPECT_EQ(request.body.find("name=\"prompt\""), std::string::npos);
    expectNoWorkFilesLeft();
}

TEST_F(TranscribeCommand, TheHostedServiceUsesTheStoredTokenAndItsFailuresAreReported) {
    ScriptedHttpServer service;
    environment["TAVLO_SERVICE_URL"] = service.baseURL();
    service.answerNext({404, "Not Found", "text/plain"});
    setSetting("speechModel", "OpenAI cloud");
    ASSERT_EQ(run({"secret", "set", "service-token"}, "tok-123\n").status, 0);

    const auto result = run({"transcribe", source.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "tavlo: The Tavlo cloud service is not available yet. Use Own OpenAI key mode or switch back to "
              "Local Whisper.\n");
    const auto requests = service.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/.netlify/functions/cloud-transcribe");
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer tok-123");
    EXPECT_FALSE(fs::exists(home.path() / "memo-transcript.txt"));
    expectNoWorkFilesLeft();
}

// A server's message is untrusted text: on the terminal its control
// characters are replaced, and in the log it stays inside one entry.
TEST_F(TranscribeCommand, AServersMessageIsMadeSafeForTheTerminalAndTheLog) {
    ScriptedHttpServer service;
    environment["TAVLO_SERVICE_URL"] = service.baseURL();
    service.answerNext({500, R"({"error":"Quota exceeded\r\n[2026-01-01T00:00:00Z] forged \u001b[2J entry"})"});
    setSetting("speechModel", "OpenAI cloud");
    ASSERT_EQ(run({"secret", "set", "service-token"}, "tok-123\n").status, 0);

    const auto result = run({"transcribe", source.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "tavlo: Quota exceeded\n[2026-01-01T00:00:00Z] forged \uFFFD[2J entry\n");
    const std::string log = read(home.path() / ".local/state/tavlo/Tavlo.log");
    EXPECT_NE(log.find("] present error=Quota exceeded\\r\\n[2026-01-01T00:00:00Z] forged \\u001b[2J entry\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("\n[2026-01-01"), std::string::npos) << log;
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
