// The real HTTP adapter against a real local server (a stand-in program):
// statuses are replies, not errors; bodies arrive byte for byte without an
// "Expect: 100-continue" round trip; time-outs, refused connections and
// cancellation each complete exactly once with the matching error.
#include <gtest/gtest.h>

#include "harness/FreeLoopbackPort.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <thread>

#include <nlohmann/json.hpp>

#include "harness/BackgroundProgram.h"
#include "platform/linux/http/CurlHttpClient.h"

namespace tavlo {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

struct Outcome {
    std::promise<HttpResult> promise;
    std::future<HttpResult> future = promise.get_future();
    std::atomic<int> calls{0};
    std::thread::id thread;

    HttpClient::Completion completion() {
        return [this](HttpResult result) {
            thread = std::this_thread::get_id();
            if (calls.fetch_add(1) == 0) promise.set_value(std::move(result));
        };
    }
    HttpResult get() {
        if (future.wait_for(60s) != std::future_status::ready) ADD_FAILURE() << "no completion";
        return future.get();
    }
};

std::string fnv1a(const std::string& bytes) {
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

// A loopback port nobody listens on.
int closedPort() { return tavlo::testing::freeLoopbackPort(); }

class CurlHttpClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = std::make_unique<testing::BackgroundProgram>(TAVLO_STANDIN_DIR "/tavlo-http-echo",
                                                               std::vector<std::string>{});
        const std::string line = server_->readLine();
        ASSERT_EQ(line.rfind("PORT ", 0), 0u) << line;
        base_ = "http://127.0.0.1:" + line.substr(5);
    }
    static void TearDownTestSuite() { server_.reset(); }

    static HttpRequest get(const std::string& path, double timeout = 30) {
        HttpRequest request;
        request.url = base_ + path;
        request.timeoutSeconds = timeout;
        return request;
    }

    CurlHttpClient client_;
    static inline std::unique_ptr<testing::BackgroundProgram> server_;
    static inline std::string base_;
};

TEST_F(CurlHttpClientTest, AnyStatusIsAReplyWithItsBody) {
    for (int status : {200, 404, 500}) {
        Outcome outcome;
        client_.dataTask(get("/status/" + std::to_string(status)), outcome.completion());
        const auto result = outcome.get();
        ASSERT_TRUE(result.response) << status;
        EXPECT_FALSE(result.error);
        EXPECT_EQ(result.response->statusCode, status);
        EXPECT_EQ(result.response->body, "status " + std::to_string(status));
        EXPECT_EQ(result.response->header("content-type"), "text/plain");
    }
}

TEST_F(CurlHttpClientTest, UploadArrivesByteForByteWithoutWaitingForContinue) {
    std::string body;
    for (int i = 0; i < 3 * 1024 * 1024; ++i) body.push_back(static_cast<char>(i * 7 % 256));
    HttpRequest request = get("/echo");
    request.method = "POST";
    request.headers = {{"Content-Type", "application/octet-stream"}, {"Expect", ""}, {"X-Tavlo", "one two"}};

    Outcome outcome;
    client_.uploadTask(request, body, outcome.completion());
    const auto result = outcome.get();
    ASSERT_TRUE(result.response);
    const auto echo = json::parse(result.response->body);
    EXPECT_EQ(echo["method"], "POST");
    EXPECT_EQ(echo["bodySize"], body.size());
    EXPECT_EQ(echo["bodyHash"], fnv1a(body));
    EXPECT_EQ(echo["headers"]["Content-Type"], "application/octet-stream");
    EXPECT_EQ(echo["headers"]["X-Tavlo"], "one two");
    EXPECT_FALSE(echo["headers"].contains("Expect"));
}

// A body sent from a file arrives as if it were built in memory: the bytes
// before, the file's contents, the bytes after; a file that cannot be read
// fails the request unsent.
TEST_F(CurlHttpClientTest, ABodyFromAFileArrivesByteForByte) {
    std::string contents;
    for (int i = 0; i < 5 * 1024 * 1024 + 17; ++i) contents.push_back(static_cast<char>(i * 13 % 251));
    char folder[] = "/tmp/tavlo-curl-body-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string file = std::string(folder) + "/recording.wav";
    std::ofstream(file, std::ios::binary) << contents;

    HttpRequest request = get("/echo");
    request.method = "POST";
    request.headers = {{"Content-Type", "application/octet-stream"}, {"Expect", ""}};
    request.body = "--B\r\nbefore\r\n";
    request.bodyFile = file;
    request.bodyAfterFile = "\r\n--B--\r\n";
    Outcome sent;
    client_.dataTask(request, sent.completion());
    const auto result = sent.get();
    ASSERT_TRUE(result.response) << (result.error ? result.error->description : "");
    const auto echo = json::parse(result.response->body);
    const std::string whole = request.body + contents + request.bodyAfterFile;
    EXPECT_EQ(echo["bodySize"], whole.size());
    EXPECT_EQ(echo["bodyHash"], fnv1a(whole));

    request.bodyFile = std::string(folder) + "/missing.wav";
    Outcome missing;
    client_.dataTask(request, missing.completion());
    const auto failed = missing.get();
    ASSERT_TRUE(failed.error);
    EXPECT_EQ(failed.error->kind, HttpTransportError::Kind::other);
    std::filesystem::remove_all(folder);
}

TEST_F(CurlHttpClientTest, NoContinueWaitEvenWhenTheRequestDoesNotAskForIt) {
    HttpRequest request = get("/echo");
    request.method = "PUT";
    request.body = std::string(2 * 1024 * 1024, 'x');
    request.headers = {{"Accept", ""}, {"Content-Type", "application/octet-stream"}};
    Outcome outcome;
    client_.dataTask(request, outcome.completion());
    const auto echo = json::parse(outcome.get().response->body);
    EXPECT_EQ(echo["method"], "PUT");
    EXPECT_FALSE(echo["headers"].contains("Expect"));
    EXPECT_FALSE(echo["headers"].contains("Accept")) << "an empty value suppresses the header";
}

TEST_F(CurlHttpClientTest, AHeaderWithALineBreakIsRefusedUnsent) {
    for (const char* key : {"sk-one\r\nX-Injected: yes", "sk-two\nX-Injected: yes"}) {
        HttpRequest request = get("/echo");
        request.method = "POST";
        request.headers = {{"Authorization", std::string("Bearer ") + key}};
        Outcome outcome;
        client_.dataTask(request, outcome.completion());
        const auto result = outcome.get();
        ASSERT_TRUE(result.error);
        EXPECT_FALSE(result.response);
        EXPECT_EQ(result.error->description,
                  "The request was not sent: its \"Authorization\" header contains a line break.");
    }
}

TEST_F(CurlHttpClientTest, RedirectsAreFollowed) {
    Outcome outcome;
    client_.dataTask(get("/redirect"), outcome.completion());
    const auto result = outcome.get();
    ASSERT_TRUE(result.response);
    EXPECT_EQ(result.response->statusCode, 200);
    EXPECT_EQ(result.response->body, "status 200");
}

TEST_F(CurlHttpClientTest, TransportFailuresCarryTheirKindAndADescription) {
    struct Case {
        std::string url;
        double timeout;
        HttpTransportError::Kind kind;
    };
    const std::vector<Case> cases{
        {base_ + "/delay/3000", 0.35, HttpTransportError::Kind::timedOut},
        {"http://127.0.0.1:" + std::to_string(closedPort()) + "/", 5, HttpTransportError::Kind::cannotConnect},
        {"http://host.invalid/", 10, HttpTransportError::Kind::cannotFindHost},
    };
    for (const auto& c : cases) {
        HttpRequest request;
        request.url = c.url;
        request.timeoutSeconds = c.timeout;
        Outcome outcome;
        client_.dataTask(request, outcome.completion());
        const auto result = outcome.get();
        EXPECT_FALSE(result.response) << c.url;
        ASSERT_TRUE(result.error) << c.url;
        EXPECT_EQ(result.error->kind, c.kind) << c.url << ": " << result.error->description;
        EXPECT_FALSE(result.error->description.empty());
    }
}

TEST_F(CurlHttpClientTest, CancellingCompletesOnceWithCancelled) {
    Outcome outcome;
    const auto task = client_.dataTask(get("/delay/5000"), outcome.completion());
    task->cancel();
    const auto result = outcome.get();
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->kind, HttpTransportError::Kind::cancelled);
    task->cancel();

    // A later request on the same client still works, and nothing more arrived for the first.
    Outcome later;
    client_.dataTask(get("/status/200"), later.completion());
    EXPECT_TRUE(later.get().response);
    EXPECT_EQ(outcome.calls.load(), 1);
}

TEST_F(CurlHttpClientTest, CancellingAfterCompletionChangesNothing) {
    Outcome outcome;
    const auto task = client_.dataTask(get("/status/204"), outcome.completion());
    EXPECT_EQ(outcome.get().response->statusCode, 204);
    task->cancel();
    Outcome later;
    client_.dataTask(get("/status/200"), later.completion());
    later.get();
    EXPECT_EQ(outcome.calls.load(), 1);
}

TEST_F(CurlHttpClientTest, ConcurrentRequestsEachCompleteExactlyOnceOnTheWorker) {
    std::vector<std::unique_ptr<Outcome>> outcomes;
    for (int i = 0; i < 16; ++i) {
        outcomes.push_back(std::make_unique<Outcome>());
        client_.dataTask(get(i % 2 ? "/delay/100" : "/status/200"), outcomes.back()->completion());
    }
    for (auto& outcome : outcomes) {
        EXPECT_TRUE(outcome->get().response);
        EXPECT_EQ(outcome->calls.load(), 1);
        EXPECT_NE(outcome->thread, std::this_thread::get_id());
    }
}

TEST_F(CurlHttpClientTest, DestroyingTheClientCancelsWhatIsInFlight) {
    Outcome outcome;
    std::shared_ptr<HttpTask> task;
    {
        CurlHttpClient shortLived;
        task = shortLived.dataTask(get("/delay/5000"), outcome.completion());
    }
    ASSERT_EQ(outcome.future.wait_for(0s), std::future_status::ready);
    const auto result = outcome.get();
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->kind, HttpTransportError::Kind::cancelled);
    task->cancel();  // the client is gone; the task must still be safe to use
}

}  // namespace
}  // namespace tavlo
