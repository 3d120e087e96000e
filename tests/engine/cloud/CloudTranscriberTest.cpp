// What the cloud back end makes of the services' replies, of transport
// failures and of missing credentials or recordings, and what happens to the
// recording and to late replies of abandoned sessions.
#include <cerrno>

#include "engine/cloud/CloudTestSupport.h"
#include "engine/cloud/CloudReplies.h"
#include "harness/FreeLoopbackPort.h"

namespace tavlo::testing {
namespace {

namespace fs = std::filesystem;
using Reply = ScriptedHttpServer::Reply;

enum class Route { ownKey, hosted };
void PrintTo(Route route, std::ostream* os) { *os << (route == Route::ownKey ? "OwnKey" : "Hosted"); }

DictationStartOptions optionsFor(Route route) {
    return route == Route::ownKey ? CloudTest::ownKey() : CloudTest::hosted();
}

struct ReplyCase {
    const char* name;
    Route route;
    Reply reply;
    DictationResult expected;
};
void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }


class CloudReply : public CloudTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(CloudReply, CompletesTheSessionAndDeletesTheRecording) {
    const ReplyCase& c = GetParam();
    server.answerNext(c.reply);
    EXPECT_EQ(dictate(optionsFor(c.route)), c.expected);
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_FALSE(fs::exists(recording));
    EXPECT_EQ(cloud->cloudTranscriptionTask(), nullptr);
}

const std::string kNotAvailable(kTavloCloudNotAvailableMessage);

INSTANTIATE_TEST_SUITE_P(
    Cases, CloudReply,
    ::testing::Values(
        // Success: "text" when it is a string, else the body text; both cleaned like Whisper output.
        ReplyCase{"OpenAIText", Route::ownKey, {200, R"({"text":"  hello\n\n  world [BLANK_AUDIO] "})"},
                  success("hello world")},
        ReplyCase{"OpenAIEmptyText", Route::ownKey, {200, R"({"text":""})"}, success("")},
        ReplyCase{"OpenAIAnyTwoHundredStatus", Route::ownKey, {201, R"({"text":"created"})"}, success("created")},
        ReplyCase{"OpenAIWithoutTextKeyGivesBodyText", Route::ownKey, {200, R"({"words":  []})"},
                  success(R"({"words": []})")},
        ReplyCase{"OpenAITextNotAStringGivesBodyText", Route::ownKey, {200, R"({"text":5})"}, success(R"({"text":5})")},
        ReplyCase{"OpenAIPlainTextBody", Route::ownKey, {200, "  plain\ntext  ", "text/plain"}, success("plain text")},
        ReplyCase{"OpenAIJsonArrayBodyIsText", Route::ownKey, {200, R"(["a"])"}, success(R"(["a"])")},
        // OpenAI's errors: error.message, else the "error" string, else the body text.
        ReplyCase{"OpenAIErrorObjectWithMessage", Route::ownKey,
                  {400, R"({"error":{"message":"Invalid file format.","type":"invalid_request_error"}})"},
                  cloudFailure("Invalid file format.")},
        ReplyCase{"OpenAIErrorString", Route::ownKey, {401, R"({"error":"Incorrect API key"})"},
                  cloudFailure("Incorrect API key")},
        ReplyCase{"OpenAIErrorObjectWithoutMessageGivesBodyText", Route::ownKey,
                  {429, R"({"error":{"code":"rate_limit"}})"}, cloudFailure(R"({"error":{"code":"rate_limit"}})")},
        ReplyCase{"OpenAIPlainTextError", Route::ownKey, {502, "Bad gateway", "text/plain"},
                  cloudFailure("Bad gateway")},
        ReplyCase{"OpenAIDetailIsNotRead", Route::ownKey, {401, R"({"detail":"nope"})"},
                  cloudFailure(R"({"detail":"nope"})")},
        ReplyCase{"OpenAINotFoundIsAnOrdinaryError", Route::ownKey, {404, "no such model", "text/plain"},
                  cloudFailure("no such model")},
        ReplyCase{"OpenAIEmptyErrorBody", Route::ownKey, {500, "", "text/plain"}, cloudFailure("")},
        ReplyCase{"OpenAIErrorBodyNotUtf8", Route::ownKey, {500, "\xff\xfe broken", "text/plain"}, cloudFailure("")},
        // The hosted service.
        ReplyCase{"HostedText", Route::hosted, {200, R"({"text":" Hej  då "})"}, success("Hej då")},
        ReplyCase{"HostedPlainTextBody", Route::hosted, {200, "just text", "text/plain"}, success("just text")},
        ReplyCase{"HostedNotFound", Route::hosted, {404, R"({"error":"Not found"})"}, cloudFailure(kNotAvailable)},
        ReplyCase{"HostedDetail", Route::hosted, {401, R"({"detail":"Token expired."})"},
                  cloudFailure("Token expired.")},
        ReplyCase{"HostedErrorBeforeDetail", Route::hosted, {403, R"({"error":"Quota used up","detail":"x"})"},
                  cloudFailure("Quota used up")},
        ReplyCase{"HostedErrorObjectGivesDetail", Route::hosted,
                  {400, R"({"error":{"message":"m"},"detail":"Bad audio"})"}, cloudFailure("Bad audio")},
        ReplyCase{"HostedNeitherGivesBodyText", Route::hosted, {500, R"({"error":{"message":"m"}})"},
                  cloudFailure(R"({"error":{"message":"m"}})")},
        ReplyCase{"HostedPlainTextError", Route::hosted, {503, "Service Unavailable", "text/plain"},
                  cloudFailure("Service Unavailable")},
        ReplyCase{"HostedEmptyErrorBody", Route::hosted, {500, "", "text/plain"}, cloudFailure("")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CloudReplyText, EmptyMessageReadsAsTheGenericFailure) {
    EXPECT_EQ(errorDescription(cloudFailure("").error()), "OpenAI cloud transcription failed.");
}

struct TransportCase {
    const char* name;
    Route route;
    bool serverListens;  // else nothing listens on the port
    std::string message;
};
void PrintTo(const TransportCase& c, std::ostream* os) { *os << c.name; }


class CloudTransportFailure : public CloudTest, public ::testing::WithParamInterface<TransportCase> {};

TEST_P(CloudTransportFailure, CarriesTheClientsDescription) {
    const TransportCase& c = GetParam();
    if (c.serverListens) {
        // The server keeps the request until long after the client gave up.
        server.setDefaultReply({200, R"({"text":"too late"})", "application/json", true});
        useCloud(CloudEndpoints::withBaseURLs(server.baseURL(), server.baseURL()), 0.5);
    } else {
        const std::string nobody = "http://127.0.0.1:" + std::to_string(freeLoopbackPort());
        useCloud(CloudEndpoints::withBaseURLs(nobody, nobody));
    }
    EXPECT_EQ(dictate(optionsFor(c.route)), cloudFailure(c.message));
    EXPECT_FALSE(fs::exists(recording));
    EXPECT_EQ(cloud->cloudTranscriptionTask(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CloudTransportFailure,
    ::testing::Values(TransportCase{"OwnKeyRefused", Route::ownKey, false, "Could not connect to the server."},
                      TransportCase{"HostedRefused", Route::hosted, false, "Could not connect to the server."},
                      TransportCase{"OwnKeyTimedOut", Route::ownKey, true, "The request timed out."},
                      TransportCase{"HostedTimedOut", Route::hosted, true, "The request timed out."}),
    [](const auto& info) { return std::string(info.param.name); });

struct CredentialCase {
    const char* name;
    DictationStartOptions options;
    DictationResult expected;
};
void PrintTo(const CredentialCase& c, std::ostream* os) { *os << c.name; }


class CloudCredentials : public CloudTest, public ::testing::WithParamInterface<CredentialCase> {};

TEST_P(CloudCredentials, MissingOnesFailAfterStopWithoutUploading) {
    const CredentialCase& c = GetParam();
    EXPECT_EQ(dictate(c.options), c.expected);
    EXPECT_TRUE(server.requests().empty());
    EXPECT_FALSE(fs::exists(recording));
}

DictationStartOptions ownKeyWithToken(std::optional<std::string> key) {
    DictationStartOptions options = CloudTest::ownKey(std::move(key));
    options.serviceAccessToken = "token-123";
    return options;
}

const DictationResult kNoKey = cloudFailure(std::string(kMissingOpenAIKeyMessage));
const DictationResult kUnavailable = DictationResult::failure(DictationEngineError::cloudTranscriptionUnavailable());

INSTANTIATE_TEST_SUITE_P(
    Cases, CloudCredentials,
    ::testing::Values(CredentialCase{"NoKey", CloudTest::ownKey(std::nullopt), kNoKey},
                      CredentialCase{"EmptyKey", CloudTest::ownKey(""), kNoKey},
                      CredentialCase{"KeyOfSpaces", CloudTest::ownKey("    "), kNoKey},
                      CredentialCase{"KeyOfLineBreaks", CloudTest::ownKey("\n\t\r\n"), kNoKey},
                      // The hosted service's token does not stand in for the user's key.
                      CredentialCase{"TokenIsNoKey", ownKeyWithToken(std::nullopt), kNoKey},
                      CredentialCase{"NoToken", CloudTest::hosted(std::nullopt), kUnavailable},
                      CredentialCase{"TokenOfSpaces", CloudTest::hosted(" \n "), kUnavailable}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CloudTest, KeyMattersOnlyInOwnKeyMode) {
    DictationStartOptions options = hosted();
    options.openAIAPIKey = std::nullopt;
    EXPECT_EQ(dictate(options), success("ok"));
}

class CloudRecording : public CloudTest, public ::testing::WithParamInterface<Route> {};

TEST_P(CloudRecording, WithoutRecordingIsUnavailable) {
    relay->adjustJob = [](DelayedTranscriptionJob& job) { job.audioFile.reset(); };
    EXPECT_EQ(dictate(optionsFor(GetParam())), kUnavailable);
    EXPECT_TRUE(server.requests().empty());
}

TEST_P(CloudRecording, UnreadableRecordingFailsWithTheReadError) {
    const DictationResult result = dictate(optionsFor(GetParam()), std::nullopt);
    ASSERT_FALSE(result.isSuccess());
    const auto* error = std::get_if<PlatformError>(&result.error());
    ASSERT_NE(error, nullptr) << errorDescription(result.error());
    EXPECT_EQ(error->domain(), "file");
    EXPECT_EQ(error->code(), ENOENT);
    EXPECT_EQ(error->localizedDescription(),
              "The file \"" + recording.filename().string() + "\" could not be read: No such file or directory");
    EXPECT_TRUE(server.requests().empty());
}

TEST_P(CloudRecording, RecordingThatIsAFolderFailsWithTheReadError) {
    relay->adjustJob = [](DelayedTranscriptionJob& job) {
        fs::remove(*job.audioFile);
        fs::create_directories(*job.audioFile / "inside");  // a folder that cannot be deleted
    };
    const DictationResult result = dictate(optionsFor(GetParam()));
    ASSERT_FALSE(result.isSuccess());
    const auto* error = std::get_if<PlatformError>(&result.error());
    ASSERT_NE(error, nullptr) << errorDescription(result.error());
    EXPECT_EQ(error->code(), EISDIR);
    EXPECT_TRUE(server.requests().empty());
}

INSTANTIATE_TEST_SUITE_P(Routes, CloudRecording, ::testing::Values(Route::ownKey, Route::hosted),
                         [](const auto& info) { return ::testing::PrintToString(info.param); });

class CloudLateReply : public CloudTest, public ::testing::WithParamInterface<Route> {
public:
    // Starts an upload the server keeps until released.
    fs::path uploadInFlight() {
        server.answerNext({200, R"({"text":"old session"})", "application/json", true});
        const fs::path held = record(optionsFor(GetParam()));
        EXPECT_TRUE(server.waitForRequests(1));
        return held;
    }
    // Also waits for `completionCount` completions: cancelling posts its own
    // completion, which may come after the cancelled upload's reply.
    void waitForReplies(int count, std::size_t completionCount = 0) {
        EXPECT_TRUE(queue->runUntil(
            [&] { return http->repliesHandled() >= count && completions.size() >= completionCount; }));
    }
};

TEST_P(CloudLateReply, CancelStopsTheUploadAndDeletesTheRecording) {
    const fs::path held = uploadInFlight();
    ASSERT_NE(cloud->cloudTranscriptionTask(), nullptr);

    engine->cancel();
    EXPECT_EQ(cloud->cloudTranscriptionTask(), nullptr);
    waitForReplies(1, 1);  // the cancelled upload's reply, and cancel's completion

    EXPECT_EQ(completions, std::vector{success("")});  // from cancel itself
    EXPECT_FALSE(fs::exists(held));
}

TEST_P(CloudLateReply, ReplyForSupersededSessionChangesNothing) {
    const fs::path held = uploadInFlight();
    server.answerNext({200, R"({"text":"new session"})"});

    EXPECT_EQ(dictate(optionsFor(GetParam())), success("new session"));
    EXPECT_FALSE(fs::exists(recording));

    server.releaseHeldReplies();
    waitForReplies(2);
    EXPECT_EQ(completions, std::vector{success("new session")});
    EXPECT_FALSE(fs::exists(held));
}

TEST_P(CloudLateReply, ReplyAfterTheEngineIsGoneChangesNothing) {
    const fs::path held = uploadInFlight();
    engine.reset();
    server.releaseHeldReplies();
    waitForReplies(1);
    EXPECT_TRUE(completions.empty());
    EXPECT_TRUE(fs::exists(held));
}

TEST_P(CloudLateReply, ShutdownCancelsTheUpload) {
    const fs::path held = uploadInFlight();
    engine->shutdown();
    EXPECT_EQ(cloud->cloudTranscriptionTask(), nullptr);
    waitForReplies(1, 1);
    EXPECT_EQ(completions, std::vector{success("")});
    EXPECT_FALSE(fs::exists(held));
}

INSTANTIATE_TEST_SUITE_P(Routes, CloudLateReply, ::testing::Values(Route::ownKey, Route::hosted),
                         [](const auto& info) { return ::testing::PrintToString(info.param); });

TEST_F(CloudTest, IsNeverALocalWhisperInstallation) {
    EXPECT_FALSE(cloud->hasLocalWhisper("en_US"));
    cloud->prepareLocalWhisper("en_US");
    EXPECT_TRUE(server.requests().empty());
}

}  // namespace
}  // namespace tavlo::testing
