// The hub environment's local Whisper over real files and a real download:
// what is installed and in use, and a model fetched from a model host on the
// loopback interface into the user's model folder.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "HubTestSupport.h"
#include "engine/support/Sha1.h"
#include "harness/ModelFileServer.h"
#include "harness/PumpedMainQueue.h"
#include "harness/TemporaryDirectory.h"
#include "hub/model/PortHubEnvironment.h"
#include "platform/linux/files/StatvfsDiskSpace.h"
#include "platform/linux/http/CurlFileDownloader.h"

namespace tavlo::testing {
namespace {

namespace fs = std::filesystem;

class PortHubWhisper : public HubModelTest {
protected:
    PortHubWhisper() {
        Sha1 checksum;
        checksum.update(content);
        ports.store = &store;
        ports.mainQueue = queue;
        ports.fileDownloader = std::make_shared<CurlFileDownloader>();
        ports.diskSpace = std::make_shared<StatvfsDiskSpace>();
        ports.whisperModels = {{"tiny.en", content.size(), checksum.hexDigest()}, {"small.en", 1000, std::string(40, 'a')}};
        ports.whisperLocations = [this] {
            WhisperSearchLocations locations;
            locations.homeDirectory = home.path();
            locations.ffmpegCandidates = {tools / "ffmpeg"};
            locations.whisperCliCandidates = {tools / "whisper-cli"};
            return locations;
        };
        server.serve("ggml-tiny.en.bin", content);
        store.setWhisperModelBaseURL(server.baseURL());
    }

    static void executable(const fs::path& file) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "#!/bin/sh\n";
        fs::permissions(file, fs::perms::owner_all);
    }

    const std::string content = std::string(100000, 'w') + "model";
    TemporaryDirectory home;
    fs::path tools = home / "bin";
    ModelFileServer server;
    std::shared_ptr<PumpedMainQueue> queue = std::make_shared<PumpedMainQueue>();
    HubEnvironmentPorts ports;
};

TEST_F(PortHubWhisper, ToolsAndModelsAsFoundOnDisk) {
    PortHubEnvironment environment(ports);
    EXPECT_EQ(environment.localWhisperSetup("en_US", std::nullopt), (LocalWhisperSetup{false, std::nullopt, {}}));
    executable(tools / "ffmpeg");
    executable(tools / "whisper-cli");
    const fs::path folder = home / ".cache/whisper.cpp";
    fs::create_directories(folder);
    std::ofstream(folder / "ggml-tiny.en.bin") << "model";
    std::ofstream(folder / "ggml-small.en.bin") << "model";
    EXPECT_EQ(environment.localWhisperSetup("en_US", std::nullopt),
              (LocalWhisperSetup{true, "tiny.en", {"tiny.en", "small.en"}}));
    EXPECT_EQ(environment.localWhisperSetup("en_US", "small.en"),
              (LocalWhisperSetup{true, "small.en", {"tiny.en", "small.en"}}));
}

TEST_F(PortHubWhisper, DownloadsIntoTheModelFolderOneAtATime) {
    PortHubEnvironment environment(ports);
    std::optional<WhisperModelDownloadOutcome> outcome;
    int progressReports = 0;
    ASSERT_TRUE(environment.startWhisperModelDownload(
        ports.whisperModels[0], [&](const WhisperModelDownloadProgress&) { ++progressReports; },
        [&](const WhisperModelDownloadOutcome& result) { outcome = result; }));
    EXPECT_FALSE(environment.startWhisperModelDownload(ports.whisperModels[1], {}, {})) << "one at a time";
    ASSERT_TRUE(queue->runUntil([&] { return outcome.has_value(); }));
    EXPECT_EQ(outcome->kind, WhisperModelDownloadOutcome::Kind::installed) << outcome->message;
    EXPECT_GT(progressReports, 0);
    std::ifstream file(home / ".cache/whisper.cpp/ggml-tiny.en.bin", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), content);
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].path, "/models/ggml-tiny.en.bin") << "from the stored model host";
    // The next one may start now; the model is there already.
    std::optional<WhisperModelDownloadOutcome> again;
    EXPECT_TRUE(environment.startWhisperModelDownload(ports.whisperModels[0], {},
                                                      [&](const WhisperModelDownloadOutcome& result) { again = result; }));
    ASSERT_TRUE(queue->runUntil([&] { return again.has_value(); }));
    EXPECT_EQ(again->kind, WhisperModelDownloadOutcome::Kind::alreadyInstalled) << again->message;
}

}  // namespace
}  // namespace tavlo::testing
