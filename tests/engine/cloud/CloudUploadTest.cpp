// What the cloud back end sends: the exact requests to OpenAI and to the
// hosted service, byte for byte as handed to the HTTP client, and as a real
// server receives them.
#include <regex>

#include <nlohmann/json.hpp>

#include "engine/cloud/CloudTestSupport.h"

namespace tavlo::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string formField(const std::string& boundary, const std::string& name, const std::string& value) {
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}

std::string formFileAndEnd(const std::string& boundary, const std::string& fileName, const std::string& type,
                           const std::string& bytes) {
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + fileName +
           "\"\r\nContent-Type: " + type + "\r\n\r\n" + bytes + "\r\n--" + boundary + "--\r\n";
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::optional<std::string> header(const HttpRequest& request, const std::string& name) {
    for (const auto& [key, value] : request.headers)
        if (key == name) return value;
    return std::nullopt;
}

// The boundary named by a multipart Content-Type header; empty when it is not one of ours.
std::string boundaryOf(const HttpRequest& request) {
    static const std::regex pattern(
        "multipart/form-data; boundary=(TavloOpenAIBoundary-[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-"
        "[0-9A-F]{12})");
    std::smatch match;
    const std::string type = header(request, "Content-Type").value_or("");
    return std::regex_match(type, match, pattern) ? match[1].str() : std::string();
}

// The value of one text field of a form; absent when there is no such part.
std::optional<std::string> formValue(const std::string& body, const std::string& name) {
    const std::string opening = "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n";
    const auto start = body.find(opening);
    if (start == std::string::npos) return std::nullopt;
    const auto valueStart = start + opening.size();
    return body.substr(valueStart, body.find("\r\n--", valueStart) - valueStart);
}

using CloudUpload = CloudTest;

TEST_F(CloudUpload, OwnKeyUploadIsTheMultipartFormByteForByte) {
    server.answerNext({200, R"({"text":" Bonjour\n  le monde "})"});
    DictationStartOptions options = ownKey(" sk-test \n");
    options.languageIdentifier = "fr_FR";
    options.contextualStrings = {"  Tavlo ", "", " \n", "Sorvel App"};

    EXPECT_EQ(dictate(options), success("Bonjour le monde"));

    ASSERT_EQ(http->sent.size(), 1u);
    const HttpRequest& sent = http->sent[0];
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.url, server.baseURL() + "/v1/audio/transcriptions");
    EXPECT_EQ(sent.timeoutSeconds, 180.0);
    const std::string boundary = boundaryOf(sent);
    ASSERT_FALSE(boundary.empty()) << header(sent, "Content-Type").value_or("<none>");
    EXPECT_EQ(sent.headers, (std::vector<std::pair<std::string, std::string>>{
                                {"Authorization", "Bearer sk-test"},
                                {"Content-Type", "multipart/form-data; boundary=" + boundary}}));
    const std::string name = recording.filename().string();
    EXPECT_EQ(sent.body, formField(boundary, "model", "gpt-4o-transcribe") +
                             formField(boundary, "response_format", "json") + formField(boundary, "language", "fr") +
                             formField(boundary, "prompt", "Tavlo, Sorvel App") +
                             formFileAndEnd(boundary, name, "audio/wav", kRecordingBytes));

    ASSERT_EQ(server.requests().size(), 1u);
    const auto received = server.requests()[0];
    EXPECT_EQ(received.method, "POST");
    EXPECT_EQ(received.path, "/v1/audio/transcriptions");
    EXPECT_EQ(received.header("Authorization"), "Bearer sk-test");
    EXPECT_EQ(received.header("Content-Type"), "multipart/form-data; boundary=" + boundary);
    EXPECT_EQ(received.body, sent.body);

    EXPECT_FALSE(fs::exists(recording));
    EXPECT_EQ(cloud->cloudTranscriptionTask(), nullptr);
}

TEST_F(CloudUpload, OwnKeyFormLeavesOutAbsentLanguageAndPrompt) {
    DictationStartOptions options = ownKey();
    options.languageIdentifier = "xx_XX";  // no language Whisper knows
    options.contextualStrings = {" ", "\n"};

    dictate(options);

    ASSERT_EQ(http->sent.size(), 1u);
    const std::string boundary = boundaryOf(http->sent[0]);
    const std::string name = recording.filename().string();
    EXPECT_EQ(http->sent[0].body, formField(boundary, "model", "gpt-4o-transcribe") +
                                      formField(boundary, "response_format", "json") +
                                      formFileAndEnd(boundary, name, "audio/wav", kRecordingBytes));
}

TEST_F(CloudUpload, EveryUploadHasItsOwnBoundary) {
    dictate(ownKey());
    dictate(ownKey());
    ASSERT_EQ(http->sent.size(), 2u);
    EXPECT_NE(boundaryOf(http->sent[0]), boundaryOf(http->sent[1]));
}

TEST_F(CloudUpload, PromptHoldsTheFirst80NonEmptyTermsOnBothRoutes) {
    std::vector<std::string> terms;
    std::string expected;
    for (int i = 1; i <= 100; ++i) {
        if (i % 10 == 0) terms.push_back("  ");  // dropped, so it does not count
        terms.push_back(" term" + std::to_string(i) + "\n");
        if (i <= 80) expected += (i > 1 ? ", term" : "term") + std::to_string(i);
    }
    DictationStartOptions withKey = ownKey();
    withKey.contextualStrings = terms;
    DictationStartOptions withToken = hosted();
    withToken.contextualStrings = terms;

    dictate(withKey);
    dictate(withToken);

    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(formValue(server.requests()[0].body, "prompt"), expected);
    EXPECT_EQ(json::parse(server.requests()[1].body).value("prompt", ""), expected);
}

struct MimeCase {
    const char* name;
    std::string fileName;
    std::string mimeType;
};
void PrintTo(const MimeCase& c, std::ostream* os) { *os << c.name; }


class CloudUploadMimeType : public CloudTest, public ::testing::WithParamInterface<MimeCase> {
public:
    void renameRecordingTo(const std::string& fileName) {
        relay->adjustJob = [fileName](DelayedTranscriptionJob& job) {
            const fs::path renamed = job.audioFile->parent_path() / fileName;
            fs::rename(*job.audioFile, renamed);
            job.audioFile = renamed;
        };
    }
};

TEST_P(CloudUploadMimeType, FollowsTheExtensionInAnyCase) {
    const MimeCase& c = GetParam();
    renameRecordingTo(c.fileName);

    EXPECT_EQ(dictate(ownKey()), success("ok"));

    ASSERT_EQ(server.requests().size(), 1u);
    const std::string body = server.requests()[0].body;
    EXPECT_TRUE(endsWith(body, formFileAndEnd(boundaryOf(http->sent[0]), c.fileName, c.mimeType, kRecordingBytes)))
        << body;
    EXPECT_FALSE(fs::exists(recording));
}

INSTANTIATE_TEST_SUITE_P(
    Extensions, CloudUploadMimeType,
    ::testing::Values(MimeCase{"Mp3", "speech.mp3", "audio/mpeg"}, MimeCase{"Mpga", "speech.MPGA", "audio/mpeg"},
                      MimeCase{"M4a", "speech.m4a", "audio/mp4"}, MimeCase{"M4aUpperCase", "speech.M4A", "audio/mp4"},
                      MimeCase{"Mp4", "movie.mp4", "audio/mp4"}, MimeCase{"Webm", "clip.webm", "audio/webm"},
                      MimeCase{"Ogg", "voice.ogg", "audio/ogg"}, MimeCase{"Flac", "voice.FLAC", "audio/flac"},
                      MimeCase{"Aac", "voice.aac", "audio/aac"}, MimeCase{"WavUpperCase", "voice.WAV", "audio/wav"},
                      MimeCase{"NoExtension", "recording", "audio/wav"},
                      MimeCase{"FileCopyWithoutSourceExtension", "file-3F2504E0-4F89-41D3-9A0C-0305E82C3301.audio",
                               "audio/wav"},
                      MimeCase{"OnlyTheLastExtensionCounts", "speech.mp3.ogg", "audio/ogg"}),
    [](const auto& info) { return std::string(info.param.name); });

// A quote or a line break in the name must not end the part's header early:
// the encoded name goes out, the real file is still read and deleted.
TEST_F(CloudUploadMimeType, FileNameWithQuoteAndLineBreakIsPercentEncoded) {
    renameRecordingTo("say \"hi\"\r\n.mp3");
    EXPECT_EQ(dictate(ownKey()), success("ok"));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_TRUE(endsWith(server.requests()[0].body, formFileAndEnd(boundaryOf(http->sent[0]), "say %22hi%22%0D%0A.mp3",
                                                                   "audio/mpeg", kRecordingBytes)));
    EXPECT_FALSE(fs::exists(recording));
}

TEST_F(CloudUploadMimeType, HostedUploadIsJsonWithTheAudioInBase64) {
    server.answerNext({200, R"({"text":"Guten Tag"})"});
    DictationStartOptions options = hosted("\ttoken-123 \n");
    options.languageIdentifier = "de_DE";
    options.contextualStrings = {"Tavlo", " Sorvel "};
    renameRecordingTo("clip.M4A");  // whatever the file is, the service is told "recording.wav"

    EXPECT_EQ(dictate(options), success("Guten Tag"));

    ASSERT_EQ(http->sent.size(), 1u);
    const HttpRequest& sent = http->sent[0];
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.url, server.baseURL() + "/.netlify/functions/cloud-transcribe");
    EXPECT_EQ(sent.timeoutSeconds, 180.0);
    EXPECT_EQ(sent.headers, (std::vector<std::pair<std::string, std::string>>{
                                {"Authorization", "Bearer token-123"}, {"Content-Type", "application/json"}}));

    ASSERT_EQ(server.requests().size(), 1u);
    const auto received = server.requests()[0];
    EXPECT_EQ(received.method, "POST");
    EXPECT_EQ(received.path, "/.netlify/functions/cloud-transcribe");
    EXPECT_EQ(received.header("Authorization"), "Bearer token-123");
    EXPECT_EQ(received.header("Content-Type"), "application/json");
    EXPECT_EQ(received.body, sent.body);
    EXPECT_EQ(json::parse(received.body), (json{{"audio_base64", kRecordingBase64},
                                                {"filename", "recording.wav"},
                                                {"mime_type", "audio/wav"},
                                                {"language", "de"},
                                                {"prompt", "Tavlo, Sorvel"}}));
    EXPECT_FALSE(fs::exists(recording));
}

TEST_F(CloudUpload, HostedJsonLeavesOutAbsentLanguageAndPromptAndWrapsNoLines) {
    DictationStartOptions options = hosted();
    options.languageIdentifier = "";
    const std::string longRecording(3000, '\xAB');

    dictate(options, longRecording);

    ASSERT_EQ(server.requests().size(), 1u);
    std::string audio;
    for (int i = 0; i < 1000; ++i) audio += "q6ur";  // three 0xAB bytes each
    EXPECT_EQ(json::parse(server.requests()[0].body),
              (json{{"audio_base64", audio}, {"filename", "recording.wav"}, {"mime_type", "audio/wav"}}));
}

TEST_F(CloudUpload, TimeoutComesFromTheSettings) {
    useCloud(CloudEndpoints::withBaseURLs(server.baseURL(), server.baseURL()), 42.5);
    dictate(hosted());
    ASSERT_EQ(http->sent.size(), 1u);
    EXPECT_EQ(http->sent[0].timeoutSeconds, 42.5);
}

}  // namespace
}  // namespace tavlo::testing
