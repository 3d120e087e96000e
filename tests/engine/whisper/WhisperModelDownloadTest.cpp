// Downloading a Whisper model for real: the libcurl downloader fetches from a
// model host on the loopback interface that serves small files, drops
// connections, holds responses and honours (or ignores) ranges.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/support/Sha1.h"
#include "engine/whisper/WhisperModelDownload.h"
#include "harness/ModelFileServer.h"
#include "harness/PumpedMainQueue.h"
#include "harness/TemporaryDirectory.h"
#include "platform/linux/files/StatvfsDiskSpace.h"
#include "platform/linux/http/CurlFileDownloader.h"

namespace tavlo {
namespace {

namespace fs = std::filesystem;
using Kind = WhisperModelDownloadOutcome::Kind;
using testing::ModelFileServer;

std::string read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string sha1(std::string_view text) {
    Sha1 checksum;
    checksum.update(text);
    return checksum.hexDigest();
}

// Bytes that differ from position to position, so a part in the wrong place shows.
std::string modelBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7919 + i / 251) & 0xFF);
    return bytes;
}

class FixedDiskSpace final : public DiskSpace {
public:
    explicit FixedDiskSpace(std::uint64_t bytes) : bytes_(bytes) {}
    std::optional<std::uint64_t> availableBytes(const fs::path&) const override { return bytes_; }

private:
    std::uint64_t bytes_;
};

TEST(Sha1, KnownDigests) {
    struct Case {
        std::string text;
        const char* digest;
    };
    const Case cases[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        // Exactly one block before the padding, and padding that needs a block of its own.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sha1(c.text), c.digest) << c.text.substr(0, 20);
        // Fed in uneven pieces, the digest is the same.
        Sha1 pieces;
        for (std::size_t at = 0; at < c.text.size(); at += 37) pieces.update(std::string_view(c.text).substr(at, 37));
        EXPECT_EQ(pieces.hexDigest(), c.digest);
    }
}

class WhisperModelDownloadTest : public ::testing::Test {
protected:
    WhisperModelDownloadTest() { server.serve(model.fileName(), content); }

    struct Run {
        WhisperModelDownloadOutcome outcome;
        std::vector<WhisperModelDownloadProgress> progress;
    };

    Run download(std::shared_ptr<DiskSpace> space = std::make_shared<StatvfsDiskSpace>()) {
        Run run;
        bool done = false;
        started = WhisperModelDownload::start(
            {queue, downloader, std::move(space)}, model, folder, server.baseURL(),
            [&](const WhisperModelDownloadProgress& progress) { run.progress.push_back(progress); },
            [&](const WhisperModelDownloadOutcome& outcome) {
                run.outcome = outcome;
                done = true;
            });
        EXPECT_TRUE(queue->runUntil([&] { return done; }));
        return run;
    }

    fs::path target() const { return folder / model.fileName(); }
    fs::path partial() const { return partialModelFile(folder, model); }

    const std::string content = modelBytes(300 * 1024 + 17);
    WhisperModel model{"small.en", 300 * 1024 + 17, sha1(content)};
    testing::TemporaryDirectory home;
    fs::path folder = whisperModelDownloadFolder(home.path());
    ModelFileServer server;
    std::shared_ptr<testing::PumpedMainQueue> queue = std::make_shared<testing::PumpedMainQueue>();
    std::shared_ptr<CurlFileDownloader> downloader = std::make_shared<CurlFileDownloader>();
    std::shared_ptr<WhisperModelDownload> started;
};

TEST_F(WhisperModelDownloadTest, InstallsUnderItsNameOnlyOnceChecked) {
    const auto run = download();
    ASSERT_EQ(run.outcome.kind, Kind::installed) << run.outcome.message;
    EXPECT_EQ(run.outcome.file, target());
    EXPECT_EQ(read(target()), content);
    EXPECT_FALSE(fs::exists(partial()));
    // The cache folders it made are the user's alone.
    for (const fs::path& made : {home.path() / ".cache", folder}) {
        struct stat info {};
        ASSERT_EQ(::stat(made.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u) << made;
    }
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].path, "/models/ggml-small.en.bin");
    EXPECT_FALSE(server.requests()[0].range);
    // Progress climbs to the whole size, then the check follows.
    ASSERT_FALSE(run.progress.empty());
    std::uint64_t last = 0;
    bool verified = false;
    for (const auto& step : run.progress) {
        if (step.phase == WhisperModelDownloadProgress::Phase::verifying) {
            verified = true;
            continue;
        }
        EXPECT_FALSE(verified) << "no download progress after the check began";
        EXPECT_GE(step.bytes, last);
        last = step.bytes;
    }
    EXPECT_EQ(last, content.size());
    EXPECT_TRUE(verified);

    // A second download finds it and asks nothing.
    const auto again = download();
    EXPECT_EQ(again.outcome.kind, Kind::alreadyInstalled);
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(WhisperModelDownloadTest, ADroppedConnectionIsResumedWhereItBrokeOff) {
    server.answerNext(ModelFileServer::Behaviour::droppingAfter(100000));
    const auto run = download();
    ASSERT_EQ(run.outcome.kind, Kind::installed) << run.outcome.message;
    EXPECT_EQ(read(target()), content);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[0].range);
    EXPECT_EQ(requests[1].range, "bytes=100000-");
}

TEST_F(WhisperModelDownloadTest, AnEarlierPartialFileIsContinued) {
    struct Case {
        const char* name;
        bool serverIgnoresRange;
    };
    for (const Case c : {Case{"the rest is sent", false}, Case{"the whole is sent again", true}}) {
        SCOPED_TRACE(c.name);
        fs::remove_all(folder);
        fs::create_directories(folder);
        std::ofstream(partial(), std::ios::binary) << content.substr(0, 5000);
        const std::size_t before = server.requests().size();
        server.answerNext(ModelFileServer::Behaviour::ignoringRange(c.serverIgnoresRange));
        const auto run = download();
        ASSERT_EQ(run.outcome.kind, Kind::installed) << run.outcome.message;
        EXPECT_EQ(read(target()), content);
        ASSERT_EQ(server.requests().size(), before + 1);
        EXPECT_EQ(server.requests().back().range, "bytes=5000-");
    }
}

TEST_F(WhisperModelDownloadTest, ADamagedDownloadIsDeletedNeverInstalled) {
    struct Case {
        const char* name;
        std::string served;
    };
    const Case cases[] = {
        {"one byte changed", [&] {
             auto damaged = content;
             damaged[200000] ^= 1;
             return damaged;
         }()},
        {"cut short", content.substr(0, 1000)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.serve(model.fileName(), c.served);
        const auto run = download();
        EXPECT_EQ(run.outcome.kind, Kind::checksumMismatch) << run.outcome.message;
        EXPECT_NE(run.outcome.message.find("damaged"), std::string::npos) << run.outcome.message;
        EXPECT_FALSE(fs::exists(target()));
        EXPECT_FALSE(fs::exists(partial())) << "a wrong file is not kept to be continued";
    }
}

TEST_F(WhisperModelDownloadTest, RefusedWhenTheDiskLacksSpaceAndNothingIsAsked) {
    fs::create_directories(folder);
    std::ofstream(partial(), std::ios::binary) << content.substr(0, 100000);
    // What remains is 207 KB; 200 KB are free.
    const auto run = download(std::make_shared<FixedDiskSpace>(200 * 1024));
    EXPECT_EQ(run.outcome.kind, Kind::noSpace);
    EXPECT_NE(run.outcome.message.find("Not enough free space"), std::string::npos) << run.outcome.message;
    EXPECT_TRUE(server.requests().empty());
    EXPECT_EQ(fs::file_size(partial()), 100000u) << "what was downloaded stays";

    // With room for the rest (not the whole) it goes ahead.
    const auto roomy = download(std::make_shared<FixedDiskSpace>(210 * 1024));
    EXPECT_EQ(roomy.outcome.kind, Kind::installed) << roomy.outcome.message;
}

TEST_F(WhisperModelDownloadTest, CancelKeepsWhatArrivedForTheNextDownload) {
    server.answerNext(ModelFileServer::Behaviour::holdingAfter(64 * 1024));
    bool done = false;
    WhisperModelDownloadOutcome outcome;
    std::uint64_t seen = 0;
    started = WhisperModelDownload::start(
        {queue, downloader, std::make_shared<StatvfsDiskSpace>()}, model, folder, server.baseURL(),
        [&](const WhisperModelDownloadProgress& progress) { seen = progress.bytes; },
        [&](const WhisperModelDownloadOutcome& result) {
            outcome = result;
            done = true;
        });
    ASSERT_TRUE(server.waitUntilHeld());
    ASSERT_TRUE(queue->runUntil([&] { return seen == 64 * 1024; }));
    started->cancel();
    ASSERT_TRUE(queue->runUntil([&] { return done; }));
    EXPECT_EQ(outcome.kind, Kind::cancelled) << outcome.message;
    EXPECT_FALSE(fs::exists(target()));
    EXPECT_EQ(read(partial()), content.substr(0, 64 * 1024));
    server.release();

    const auto resumed = download();
    ASSERT_EQ(resumed.outcome.kind, Kind::installed) << resumed.outcome.message;
    EXPECT_EQ(read(target()), content);
    EXPECT_EQ(server.requests().back().range, "bytes=65536-");
}

TEST_F(WhisperModelDownloadTest, AHostThatRefusesLeavesNothingUnderTheName) {
    server.answerNext(ModelFileServer::Behaviour::refusing(404));
    const auto run = download();
    EXPECT_EQ(run.outcome.kind, Kind::failed);
    EXPECT_NE(run.outcome.message.find("HTTP status 404"), std::string::npos) << run.outcome.message;
    EXPECT_FALSE(fs::exists(target()));
    EXPECT_FALSE(fs::exists(partial())) << "nothing arrived, so nothing is kept";
}

}  // namespace
}  // namespace tavlo
