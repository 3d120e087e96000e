// `tavlo models` on the real executable, against a model host on the
// loopback interface with small files and a catalogue of its own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "engine/support/Sha1.h"
#include "harness/BackgroundProgram.h"
#include "harness/ModelFileServer.h"
#include "harness/RunProgram.h"
#include "harness/TemporaryDirectory.h"

namespace tavlo::testing {
namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string sha1(std::string_view text) {
    Sha1 checksum;
    checksum.update(text);
    return checksum.hexDigest();
}

std::string modelBytes(std::size_t size, int seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed + i / 509) & 0xFF);
    return bytes;
}

class ModelsCommand : public ::testing::Test {
protected:
    ModelsCommand() {
        server.serve("ggml-tiny.en.bin", tiny);
        server.serve("ggml-small.en.bin", small);
        std::ofstream(catalogue) << R"([{"name": "tiny.en", "bytes": 204800, "sha1": ")" << sha1(tiny)
                                 << R"("}, {"name": "small.en", "bytes": 2097152, "sha1": ")" << sha1(small)
                                 << R"("}, {"name": "broken", "bytes": 1000, "sha1": ")" << std::string(40, '0')
                                 << R"("}])";
        server.serve("ggml-broken.bin", std::string(1000, 'x'));
        environment["TAVLO_WHISPER_MODEL_CATALOGUE"] = catalogue.string();
        const auto set = run({"settings", "set", "whisperModelBaseURL", server.baseURL()});
        EXPECT_EQ(set.status, 0) << set.err;
    }

    ProgramResult run(const std::vector<std::string>& args) { return runTavlo(args, "", environment); }

    const std::string tiny = modelBytes(200 * 1024, 1);
    const std::string small = modelBytes(2 * 1024 * 1024, 2);
    TemporaryDirectory home;
    fs::path catalogue = home / "catalogue.json";
    fs::path folder = home / ".cache/whisper.cpp";
    std::map<std::string, std::string> environment = freshUserEnvironment(home.path());
    ModelFileServer server;
};

TEST_F(ModelsCommand, DownloadsWithProgressLinesAndInstallsTheCheckedFile) {
    const auto result = run({"models", "download", "small.en"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(read(folder / "ggml-small.en.bin"), small);
    EXPECT_FALSE(fs::exists(folder / "ggml-small.en.bin.partial"));
    EXPECT_EQ(result.out, "small.en is installed: " + (folder / "ggml-small.en.bin").string() + "\n");
    // Not a terminal: plain lines, the first naming the address, the last the whole size.
    EXPECT_TRUE(result.err.starts_with("Downloading small.en (2.0 MB) from " + server.baseURL() +
                                       "/ggml-small.en.bin\n"))
        << result.err;
    EXPECT_NE(result.err.find("small.en: 2.0 MB of 2.0 MB (100%)\n"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("small.en: checking the download\n"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find('\r'), std::string::npos) << "no redrawn line outside a terminal";
}

TEST_F(ModelsCommand, ListsSizesAndWhatIsInstalledAndInUse) {
    fs::create_directories(folder);
    std::ofstream(folder / "ggml-tiny.en.bin") << "model";
    std::ofstream(folder / "ggml-small.en.bin.partial") << std::string(1536 * 1024, 'x');
    struct Case {
        const char* chosen;
        const char* listing;
    };
    const Case cases[] = {
        {"",
         "MODEL           SIZE  STATE\n"
         "tiny.en       200 KB  installed, in use\n"
         "small.en      2.0 MB  partly downloaded (1.5 MB)\n"
         "broken    1000 bytes  -\n"},
        // A chosen model that is missing leaves the usual order in charge.
        {"small.en",
         "MODEL           SIZE  STATE\n"
         "tiny.en       200 KB  installed, in use\n"
         "small.en      2.0 MB  partly downloaded (1.5 MB), chosen\n"
         "broken    1000 bytes  -\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen);
        ASSERT_EQ(run({"settings", "set", "whisperModel", c.chosen}).status, 0);
        const auto result = run({"models"});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, c.listing);
    }
}

TEST_F(ModelsCommand, TheChosenModelIsTheOneInUseOnceInstalled) {
    ASSERT_EQ(run({"settings", "set", "whisperModel", "small.en"}).status, 0);
    ASSERT_EQ(run({"models", "download", "tiny.en"}).status, 0);
    ASSERT_EQ(run({"models", "download", "small.en"}).status, 0);
    const auto listing = run({"models"}).out;
    EXPECT_NE(listing.find("tiny.en       200 KB  installed\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("small.en      2.0 MB  installed, in use, chosen\n"), std::string::npos) << listing;

    const auto removed = run({"models", "remove", "small.en"});
    EXPECT_EQ(removed.status, 0) << removed.err;
    EXPECT_FALSE(fs::exists(folder / "ggml-small.en.bin"));
    const auto after = run({"models"}).out;
    EXPECT_NE(after.find("tiny.en       200 KB  installed, in use\n"), std::string::npos) << after;
    const auto again = run({"models", "remove", "small.en"});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err, "tavlo: small.en is not in " + folder.string() + "\n");
}

TEST_F(ModelsCommand, ADroppedConnectionIsResumedWithARange) {
    server.answerNext(ModelFileServer::Behaviour::droppingAfter(700000));
    const auto result = run({"models", "download", "small.en"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(read(folder / "ggml-small.en.bin"), small);
    const auto requests = server.requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests.back().range, "bytes=700000-");
}

TEST_F(ModelsCommand, FailuresSayWhyAndLeaveNothingUnderTheModelsName) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
        const char* errorPart;
    };
    const Case cases[] = {
        {"wrong checksum", {"models", "download", "broken"}, 1, "was damaged"},
        {"unknown model", {"models", "download", "huge"}, 2,
         "tavlo: unknown model \"huge\"; the models are: tiny.en, small.en, broken\n"},
        {"missing usage", {"models", "download"}, 2, "usage: tavlo models"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = run(c.args);
        EXPECT_EQ(result.status, c.status);
        EXPECT_NE(result.err.find(c.errorPart), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_FALSE(fs::exists(folder / "ggml-broken.bin"));
    EXPECT_FALSE(fs::exists(folder / "ggml-broken.bin.partial"));
}

TEST_F(ModelsCommand, CtrlCStopsCleanlyAndTheNextRunContinues) {
    server.answerNext(ModelFileServer::Behaviour::holdingAfter(512 * 1024));
    std::vector<std::string> arguments{"-i"};
    for (const auto& [name, value] : environment) arguments.push_back(name + "=" + value);
    arguments.insert(arguments.end(), {TAVLO_BINARY, "models", "download", "small.en"});
    BackgroundProgram program("/usr/bin/env", arguments);
    ASSERT_TRUE(server.waitUntilHeld());
    // The bytes sent reach the partial file before the test interrupts.
    for (int i = 0; i < 3000 && !(fs::exists(folder / "ggml-small.en.bin.partial") &&
                                  fs::file_size(folder / "ggml-small.en.bin.partial") == 512 * 1024);
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(program.pid(), SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(program.pid(), &status, 0), program.pid());
    EXPECT_TRUE(WIFEXITED(status)) << "ended by its own hand, not by the signal";
    EXPECT_EQ(WEXITSTATUS(status), 130);
    server.release();
    EXPECT_FALSE(fs::exists(folder / "ggml-small.en.bin"));
    EXPECT_EQ(read(folder / "ggml-small.en.bin.partial"), small.substr(0, 512 * 1024));

    const auto resumed = run({"models", "download", "small.en"});
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(read(folder / "ggml-small.en.bin"), small);
    EXPECT_EQ(server.requests().back().range, "bytes=524288-");
}

}  // namespace
}  // namespace tavlo::testing
