// `tavlo secret` on the real executable with no session bus, so the private
// file is used, and `tavlo clean` with the stored snippets.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "harness/RunProgram.h"
#include "harness/TemporaryDirectory.h"

namespace tavlo::testing {
namespace {

namespace fs = std::filesystem;

class SecretCommand : public ::testing::Test {
protected:
    ProgramResult run(const std::vector<std::string>& args, const std::string& input = "") {
        return runTavlo(args, input, freshUserEnvironment(home.path()));
    }

    std::string status(const std::string& name) { return run({"secret", "status", name}).out; }

    TemporaryDirectory home;
    fs::path secretsFile = home / ".local/share/tavlo/secrets/secrets.json";
};

TEST_F(SecretCommand, SetReadsStandardInputAndNothingEverPrintsTheSecret) {
    const std::string secret = "sk-proj-Secret123";
    const auto set = run({"secret", "set", "openai-key"}, "  " + secret + "\n");
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_NE(set.out.find("openai-key: stored in " + secretsFile.string()), std::string::npos) << set.out;

    const auto settings = run({"settings"});
    EXPECT_EQ(nlohmann::json::parse(settings.out)["hasOpenAIAPIKey"], true);
    EXPECT_EQ(nlohmann::json::parse(settings.out)["hasServiceAccessToken"], false);
    EXPECT_EQ(status("openai-key"), "openai-key: stored\n");
    EXPECT_EQ(status("service-token"), "service-token: not stored\n");
    for (const auto& output : {set.out, set.err, settings.out, settings.err, status("openai-key")})
        EXPECT_EQ(output.find("Secret123"), std::string::npos) << output;

    // Stored trimmed, in a file only the user can read, and never in the settings file.
    struct stat info {};
    ASSERT_EQ(::stat(secretsFile.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::ifstream in(secretsFile);
    EXPECT_NE(std::string(std::istreambuf_iterator<char>(in), {}).find("\"" + secret + "\""), std::string::npos);
    std::ifstream settingsFile(home / ".config/tavlo/settings.json");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(settingsFile), {}).find("Secret123"), std::string::npos);

    const auto clear = run({"secret", "clear", "openai-key"});
    EXPECT_EQ(clear.status, 0) << clear.err;
    EXPECT_EQ(clear.out, "openai-key: cleared\n");
    EXPECT_EQ(status("openai-key"), "openai-key: not stored\n");
}

TEST_F(SecretCommand, TheServiceTokenIsKeptApart) {
    ASSERT_EQ(run({"secret", "set", "service-token"}, "tok-1").status, 0);
    ASSERT_EQ(run({"secret", "set", "openai-key"}, "sk-1").status, 0);
    ASSERT_EQ(run({"secret", "clear", "service-token"}).status, 0);
    EXPECT_EQ(status("service-token"), "service-token: not stored\n");
    EXPECT_EQ(status("openai-key"), "openai-key: stored\n");
}

// The fallback file cannot be changed (a link in its place, or a file of
// another user): the secret may still be on disk, so "cleared" would be a lie.
TEST_F(SecretCommand, ASecretThatCannotBeRemovedIsReportedAsAFailure) {
    const bool root = ::geteuid() == 0;
    for (const bool link : {true, false}) {
        if (!link && !root) continue;  // only root can hand a file to another user
        SCOPED_TRACE(link ? "symbolic link" : "another user's file");
        fs::remove_all(secretsFile.parent_path());
        ASSERT_EQ(run({"secret", "set", "openai-key"}, "sk-kept").status, 0);
        if (link) {
            const fs::path elsewhere = home / "elsewhere.json";
            fs::rename(secretsFile, elsewhere);
            fs::create_symlink(elsewhere, secretsFile);
        } else {
            ASSERT_EQ(::chown(secretsFile.c_str(), 65534, 65534), 0);
        }
        const auto clear = run({"secret", "clear", "openai-key"});
        EXPECT_EQ(clear.status, 1);
        EXPECT_EQ(clear.out, "");
        EXPECT_NE(clear.err.find("openai-key could not be removed"), std::string::npos) << clear.err;
        std::ifstream in(link ? home / "elsewhere.json" : secretsFile);
        EXPECT_NE(std::string(std::istreambuf_iterator<char>(in), {}).find("sk-kept"), std::string::npos);
    }
}

struct Refusal {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    const char* errorPart;
};

class SecretRefusal : public SecretCommand, public ::testing::WithParamInterface<Refusal> {};

TEST_P(SecretRefusal, ChangesNothing) {
    ASSERT_EQ(run({"secret", "set", "openai-key"}, "sk-before").status, 0);
    const auto result = run(GetParam().args, GetParam().input);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find(GetParam().errorPart), std::string::npos) << result.err;
    EXPECT_EQ(status("openai-key"), "openai-key: stored\n");
}

INSTANTIATE_TEST_SUITE_P(
    Invocations, SecretRefusal,
    ::testing::Values(
        Refusal{"SecretOnTheCommandLine", {"secret", "set", "openai-key", "sk-visible-in-ps"}, "", "usage"},
        Refusal{"BlankInput", {"secret", "set", "openai-key"}, " \n", "no secret on standard input"},
        Refusal{"NotUtf8", {"secret", "set", "openai-key"}, "sk-\xff", "not valid UTF-8"},
        Refusal{"TooLong", {"secret", "set", "openai-key"}, std::string(100'000, 'k'), "too long"},
        Refusal{"UnknownSecret", {"secret", "set", "github-token"}, "x", "usage"},
        Refusal{"UnknownAction", {"secret", "show", "openai-key"}, "", "usage"},
        Refusal{"LineBreakInside", {"secret", "set", "openai-key"}, "sk-a\nsk-b\n", "line break"},
        Refusal{"ControlCharacterInside", {"secret", "set", "openai-key"}, "sk-a\x1b[0m", "control character"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CleanWithStoredSnippets, UsesTheStoredSnippetsWithoutTheOption) {
    TemporaryDirectory home;
    const auto environment = freshUserEnvironment(home.path());

    // On a fresh machine the command creates the first-run values like the program.
    ASSERT_EQ(runTavlo({"clean", "--style", "Verbatim", "hello"}, "", environment).status, 0);
    EXPECT_TRUE(fs::exists(home / ".config/tavlo/settings.json"));

    const std::string snippets = R"([{"phrase":"my address","expansion":"1 Main Street"}])";
    const auto probe = home / "probe.json";
    std::ofstream(probe) << snippets;
    if (runTavlo({"clean", "--style", "Verbatim", "--snippets", probe.string(), "my address"}, "", environment).out !=
        "1 Main Street\n")
        GTEST_SKIP() << "the transcript pipeline of this build does not expand snippets";

    ASSERT_EQ(runTavlo({"settings", "set", "snippets", snippets}, "", environment).status, 0);
    const auto stored = runTavlo({"clean", "--style", "Verbatim", "my address"}, "", environment);
    EXPECT_EQ(stored.status, 0) << stored.err;
    EXPECT_EQ(stored.out, "1 Main Street\n");
    // The option still wins over the stored snippets.
    std::ofstream(probe) << "[]";
    EXPECT_EQ(runTavlo({"clean", "--style", "Verbatim", "--snippets", probe.string(), "my address"}, "", environment).out,
              "my address\n");
}

}  // namespace
}  // namespace tavlo::testing
