// The `tavlo clean` command as a script would use it: the real executable,
// real files, real pipes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "harness/RunProgram.h"
#include "harness/TemporaryDirectory.h"

namespace {

using Result = tavlo::testing::ProgramResult;

// Each run as a user with a fresh, empty home: the command reads the stored
// snippets, so the machine's own settings must neither leak in nor be written.
Result runTavlo(const std::vector<std::string>& args, const std::string& input = "") {
    tavlo::testing::TemporaryDirectory home;
    return tavlo::testing::runTavlo(args, input, tavlo::testing::freshUserEnvironment(home.path()));
}

TEST(CleanCommand, TextFromArgumentsOrStandardInput) {
    const Result fromArgs = runTavlo({"clean", "--style", "Verbatim", "hello", "world"});
    EXPECT_EQ(fromArgs.status, 0);
    EXPECT_EQ(fromArgs.out, "hello world\n");

    const Result fromInput = runTavlo({"clean", "--style", "Verbatim"}, "  hello   there \n");
    EXPECT_EQ(fromInput.status, 0);
    EXPECT_EQ(fromInput.out, "hello there\n");
}

TEST(CleanCommand, SelfCorrectionsApplyAsInADictation) {
    const Result run = runTavlo({"clean", "Call Anna, I mean Hanna"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Hanna.\n");
}

TEST(CleanCommand, JsonOutputCarriesTheFlags) {
    const Result run = runTavlo({"clean", "--json", "cancel that"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto result = nlohmann::json::parse(run.out);
    EXPECT_EQ(result, nlohmann::json::parse(R"({"text":"","shouldPressEnter":false,"cancelled":true})"));
}

TEST(CleanCommand, SnippetsFromFile) {
    const auto path = std::filesystem::temp_directory_path() / "tavlo-clean-snippets.json";
    std::ofstream(path) << R"([{"phrase":"my address","expansion":"1 Main Street"}])";
    const Result run = runTavlo({"clean", "--style", "Verbatim", "--snippets", path.string(), "my address"});
    std::filesystem::remove(path);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "1 Main Street\n");
}

struct BadInvocation {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    const char* errorPart;
};

class CleanCommandRefusal : public ::testing::TestWithParam<BadInvocation> {};

TEST_P(CleanCommandRefusal, OneLineErrorAndFailureStatus) {
    const Result run = runTavlo(GetParam().args, GetParam().input);
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_NE(run.err.find(GetParam().errorPart), std::string::npos) << run.err;
    EXPECT_EQ(run.err.back(), '\n');
}

INSTANTIATE_TEST_SUITE_P(
    Errors, CleanCommandRefusal,
    ::testing::Values(
        BadInvocation{"UnknownStyle", {"clean", "--style", "clean", "hi"}, "", "unknown style"},
        BadInvocation{"MissingStyleValue", {"clean", "--style"}, "", "needs a value"},
        BadInvocation{"MissingSnippetsFile", {"clean", "--snippets", "/nonexistent/x.json", "hi"}, "", "cannot read"},
        BadInvocation{"InvalidUtf8", {"clean"}, std::string("caf\xc3(\xff", 6), "not valid UTF-8"},
        BadInvocation{"UnknownOption", {"clean", "--colour", "hi"}, "", "unknown option"},
        BadInvocation{"SnippetsFileIsAFolder", {"clean", "--snippets", "/", "hi"}, "", "is a folder"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CleanCommand, MalformedSnippetsFileIsRefused) {
    const auto path = std::filesystem::temp_directory_path() / "tavlo-clean-bad-snippets.json";
    const std::string deep = R"([{"phrase":"a","expansion":"b","note":)" + std::string(100'000, '[') +
                             std::string(100'000, ']') + "}]";
    for (const std::string& content :
         {std::string("{not json"), std::string(R"({"phrase":"a","expansion":"b"})"),
          std::string(R"([{"phrase":"a"}])"), deep}) {
        std::ofstream(path) << content;
        const Result run = runTavlo({"clean", "--snippets", path.string(), "hi"});
        EXPECT_EQ(run.status, 1) << content.substr(0, 40);
        EXPECT_NE(run.err.find("snippets file"), std::string::npos) << run.err;
    }
    std::filesystem::remove(path);
}

}  // namespace
