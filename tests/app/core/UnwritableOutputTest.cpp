// Every command whose output cannot be written (a full disk, here /dev/full)
// says so on standard error and fails, so a script never takes a lost result
// for a good one. (check-updates: with the update tests, which have the
// manifest server.)
#include <gtest/gtest.h>

#include <fstream>

#include "harness/RunProgram.h"
#include "harness/ScriptedHttpServer.h"
#include "harness/TemporaryDirectory.h"

namespace tavlo::testing {
namespace {

class UnwritableOutput : public ::testing::Test {
protected:
    ProgramResult run(const std::vector<std::string>& args, const std::string& input = "",
                      const std::filesystem::path& output = {}) {
        return runTavlo(args, input, environment, output);
    }
    void expectReportedFailure(const std::vector<std::string>& args, const std::string& input = "") {
        SCOPED_TRACE(args.at(0));
        const auto result = run(args, input, "/dev/full");
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_NE(result.err.find("tavlo: could not write the output (No space left on device)"),
                  std::string::npos)
            << result.err;
    }

    TemporaryDirectory home;
    std::map<std::string, std::string> environment = freshUserEnvironment(home.path());
};

TEST_F(UnwritableOutput, EveryCommandFails) {
    expectReportedFailure({"clean", "hello", "world"});
    expectReportedFailure({"clean"}, std::string(200'000, 'a'));  // more than one buffer's worth
    expectReportedFailure({"settings"});
    expectReportedFailure({"secret", "status", "openai-key"});
    ASSERT_EQ(run({"secret", "set", "service-token"}, "tok-1\n").status, 0);
    expectReportedFailure({"secret", "clear", "service-token"});
    expectReportedFailure({"--version"});

    ScriptedHttpServer openAI;
    environment["TAVLO_OPENAI_BASE_URL"] = openAI.baseURL();
    openAI.answerNext({200, R"({"text":"the meeting is at noon"})"});
    ASSERT_EQ(run({"settings", "set", "speechModel", "OpenAI cloud"}).status, 0);
    ASSERT_EQ(run({"settings", "set", "openAICloudMode", "Own OpenAI key"}).status, 0);
    ASSERT_EQ(run({"secret", "set", "openai-key"}, "sk-test\n").status, 0);
    const auto source = home / "memo.m4a";
    std::ofstream(source) << "not really audio";
    expectReportedFailure({"transcribe", source.string()});
}

TEST_F(UnwritableOutput, WrittenOutputStillSucceeds) {
    const auto result = run({"clean", "hello"}, "", "/dev/null");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
}

}  // namespace
}  // namespace tavlo::testing
