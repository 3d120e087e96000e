// The update checker with the real HTTP client against two real local servers
// playing the manifest hosts: which host is asked, which answer decides, which
// failure is reported, and that every check ends with exactly one result on
// the main thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "harness/PumpedMainQueue.h"
#include "platform/linux/http/CurlHttpClient.h"
#include "updates/ManifestHost.h"
#include "updates/UpdateChecker.h"

namespace tavlo {
namespace {

using testing::manifestDocument;
using testing::ManifestHost;
using testing::unreachableManifestURL;

const AppUpdateManifest kManifest13{"1.3", "40", "13.0", "https://tavlo.app/download", "Faster start."};

class UpdateCheckerTest : public ::testing::Test {
protected:
    // Runs one check to its end. Afterwards the client is gone (its worker
    // joined) and the main queue drained, so a second delivery would have
    // been seen.
    AppUpdateResult check(std::vector<std::string> urls, RunningApplicationVersion running = {"1.2.9", "37"},
                          double timeoutSeconds = kUpdateCheckTimeoutSeconds) {
        auto httpClient = std::make_shared<CurlHttpClient>();
        const UpdateChecker checker({httpClient, queue_, std::move(urls), std::move(running), timeoutSeconds});
        int deliveries = 0;
        std::optional<AppUpdateResult> result;
        std::thread::id deliveredOn;
        checker.check([&](AppUpdateResult delivered) {
            ++deliveries;
            deliveredOn = std::this_thread::get_id();
            result = std::move(delivered);
        });
        EXPECT_EQ(deliveries, 0) << "delivered inside check()";
        EXPECT_TRUE(queue_->runUntil([&] { return result.has_value(); })) << "no result";

        httpClient.reset();
        bool drained = false;
        queue_->post([&] { drained = true; });
        queue_->runUntil([&] { return drained; });
        EXPECT_EQ(deliveries, 1);
        EXPECT_EQ(deliveredOn, std::this_thread::get_id()) << "not delivered on the main thread";
        return result.value_or(AppUpdateResult::failed("(no result)"));
    }

    std::shared_ptr<testing::PumpedMainQueue> queue_ = std::make_shared<testing::PumpedMainQueue>();
    ManifestHost first_;
    ManifestHost second_;
};

struct DecisionCase {
    const char* name;
    std::string manifestVersion;
    std::string manifestBuild;
    RunningApplicationVersion running;
    bool available;
};

TEST_F(UpdateCheckerTest, TheFirstGoodManifestDecidesAgainstTheRunningVersionAndBuild) {
    const std::vector<DecisionCase> cases = {
        {"newer version", "1.3", "40", {"1.2.9", "37"}, true},
        {"newer version, lower build", "1.3", "1", {"1.2.9", "37"}, true},
        {"older version, higher build", "1.2", "99", {"1.2.9", "37"}, false},
        {"equal versions, higher build", "1.3", "40", {"1.3.0", "37"}, true},
        {"equal versions, equal builds", "1.3", "40", {"1.3.0", "40"}, false},
        {"equal versions, lower build", "1.3", "36", {"1.3", "37"}, false},
        {"build 40a reads as 0", "1.3", "40a", {"1.3.0", "37"}, false},
        {"build 40a against a running build that reads as 0", "1.3", "40a", {"1.3", "dev"}, false},
        {"signed builds", "1.3", "+1", {"1.3", "-1"}, true},
        {"1.10 is newer than 1.9", "1.10", "1", {"1.9", "99"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        first_.answer(200, manifestDocument(c.manifestVersion, c.manifestBuild));
        const AppUpdateResult result = check({first_.url(), second_.url()}, c.running);
        if (c.available) {
            ASSERT_EQ(result.kind(), AppUpdateResult::Kind::available);
            EXPECT_EQ(result.manifest().version, c.manifestVersion);
            EXPECT_EQ(result.manifest().build, c.manifestBuild);
        } else {
            // `current` names the running version, not the published one.
            EXPECT_EQ(result, AppUpdateResult::current(c.running.version));
        }
    }
    EXPECT_TRUE(second_.received().empty()) << "the second host was asked although the first answered well";
}

TEST_F(UpdateCheckerTest, TheWholeManifestReachesTheResult) {
    first_.answer(200, R"({"version": "1.3", "build": "40", "minimum_macos": "13.0",
                           "download_url": "https://tavlo.app/download", "release_notes": "Faster start.",
                           "channel": "stable"})");
    EXPECT_EQ(check({first_.url()}), AppUpdateResult::available(kManifest13));
}

TEST_F(UpdateCheckerTest, AFailingFirstHostLeadsToTheSecond) {
    first_.answer(500, "Internal Server Error");
    second_.answer(200, manifestDocument("1.3", "40"));
    EXPECT_EQ(check({first_.url(), second_.url()}), AppUpdateResult::available(kManifest13));
    EXPECT_EQ(first_.received().size(), 1u);
    EXPECT_EQ(second_.received().size(), 1u);
}

struct FailureCase {
    const char* name;
    std::function<void(ManifestHost&)> firstHost;   // null: nothing listens
    std::function<void(ManifestHost&)> secondHost;  // null: nothing listens
    std::string message;
};

TEST_F(UpdateCheckerTest, WhenEveryHostFailsTheLastFailureIsReported) {
    auto status = [](int code, std::string body = "") {
        return [code, body](ManifestHost& host) { host.answer(code, body); };
    };
    const auto notAManifest = status(200, "<html>Welcome</html>");
    const std::vector<FailureCase> cases = {
        {"not a manifest, then unreachable", notAManifest, nullptr, "Could not connect to the server."},
        {"unreachable, then not found", nullptr, status(404, "Not Found"), "Update server returned HTTP 404."},
        {"not found, then not a manifest", status(404), notAManifest, "Could not read update manifest."},
        {"server error, then an empty body", status(503), status(200, ""), "Update server returned no data."},
        {"not a manifest, then no content", notAManifest, status(204), "Update server returned no data."},
        {"not a manifest, then not modified", notAManifest, status(304), "Update server returned HTTP 304."},
        {"a bad download address, then no version",
         status(200, manifestDocument("1.3", "40", "", "tavlo.app/download")),
         status(200, R"({"build": "40", "minimum_macos": "13.0", "download_url": "https://tavlo.app/download",
                         "release_notes": ""})"),
         "Could not read update manifest."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> urls;
        for (const auto& [host, behaviour] : {std::pair(&first_, c.firstHost), std::pair(&second_, c.secondHost)}) {
            if (behaviour) {
                behaviour(*host);
                urls.push_back(host->url());
            } else {
                urls.push_back(unreachableManifestURL());
            }
        }
        EXPECT_EQ(check(urls), AppUpdateResult::failed(c.message));
    }
}

TEST_F(UpdateCheckerTest, WhenBothHostsTimeOutTheSecondOnesErrorIsReported) {
    first_.stayQuiet();
    second_.stayQuiet();
    EXPECT_EQ(check({first_.url(), second_.url()}, {"1.2.9", "37"}, /*timeoutSeconds=*/0.5),
              AppUpdateResult::failed("The request timed out."));
    EXPECT_EQ(first_.received().size(), 1u);
    EXPECT_EQ(second_.received().size(), 1u);
}

TEST_F(UpdateCheckerTest, WithoutAddressesTheCheckFailsAtOnce) {
    EXPECT_EQ(check({}), AppUpdateResult::failed("No update manifest is available."));
}

TEST_F(UpdateCheckerTest, EveryCheckAsksTheServerEvenWhenItsAnswerMayBeCached) {
    first_.answer(200, manifestDocument("1.3", "40"),
                  {{"Cache-Control", "public, max-age=86400"},
                   {"ETag", "\"manifest-1\""},
                   {"Last-Modified", "Wed, 01 Jan 2025 00:00:00 GMT"}});
    check({first_.url()});
    check({first_.url()});
    const auto requests = first_.received();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& request : requests) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.path, "/updates.json");
        // A conditional request would let the server answer 304, which is no manifest.
        EXPECT_FALSE(request.headers.contains("If-None-Match"));
        EXPECT_FALSE(request.headers.contains("If-Modified-Since"));
    }
}

TEST_F(UpdateCheckerTest, ChecksMayOverlapAndEachGetsItsOwnResult) {
    first_.answer(200, manifestDocument("1.3", "40"));
    auto httpClient = std::make_shared<CurlHttpClient>();
    const UpdateChecker checker({httpClient, queue_, {first_.url()}, {"1.2.9", "37"}});
    const UpdateChecker upToDate({httpClient, queue_, {first_.url()}, {"1.3", "40"}});
    std::vector<AppUpdateResult> results;
    checker.check([&](AppUpdateResult result) { results.push_back(std::move(result)); });
    upToDate.check([&](AppUpdateResult result) { results.push_back(std::move(result)); });
    checker.check([&](AppUpdateResult result) { results.push_back(std::move(result)); });
    ASSERT_TRUE(queue_->runUntil([&] { return results.size() == 3; }));
    EXPECT_EQ(std::count(results.begin(), results.end(), AppUpdateResult::available(kManifest13)), 2);
    EXPECT_EQ(std::count(results.begin(), results.end(), AppUpdateResult::current("1.3")), 1);
}

TEST_F(UpdateCheckerTest, ACheckOutlivesItsCheckerAndStillDeliversOnce) {
    first_.answer(500, "");
    second_.answer(200, manifestDocument("1.3", "40"));
    auto httpClient = std::make_shared<CurlHttpClient>();
    int deliveries = 0;
    std::optional<AppUpdateResult> result;
    {
        const UpdateChecker checker({httpClient, queue_, {first_.url(), second_.url()}, {"1.2.9", "37"}});
        checker.check([&](AppUpdateResult delivered) {
            ++deliveries;
            result = std::move(delivered);
        });
    }
    ASSERT_TRUE(queue_->runUntil([&] { return result.has_value(); }));
    EXPECT_EQ(*result, AppUpdateResult::available(kManifest13));
    httpClient.reset();
    bool drained = false;
    queue_->post([&] { drained = true; });
    queue_->runUntil([&] { return drained; });
    EXPECT_EQ(deliveries, 1);
}

TEST_F(UpdateCheckerTest, ACheckWhoseClientIsGoneFailsWithTheLastMessage) {
    first_.stayQuiet();
    auto httpClient = std::make_shared<CurlHttpClient>();
    int deliveries = 0;
    std::optional<AppUpdateResult> result;
    {
        const UpdateChecker checker({httpClient, queue_, {first_.url(), second_.url()}, {"1.2.9", "37"}});
        checker.check([&](AppUpdateResult delivered) {
            ++deliveries;
            result = std::move(delivered);
        });
    }
    // Ending the client cancels the request to the first host; there is no
    // client left to ask the second.
    for (int wait = 0; wait < 9000 && first_.received().empty(); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(first_.received().size(), 1u);
    httpClient.reset();
    ASSERT_TRUE(queue_->runUntil([&] { return result.has_value(); }));
    EXPECT_EQ(*result, AppUpdateResult::failed("The request was cancelled."));
    EXPECT_TRUE(second_.received().empty());
    bool drained = false;
    queue_->post([&] { drained = true; });
    queue_->runUntil([&] { return drained; });
    EXPECT_EQ(deliveries, 1);
}

}  // namespace
}  // namespace tavlo
