// What comes back from whisper.cpp: silence markers and line structure
// cleaned away, the inference request built byte for byte, and every kind of
// server reply read the way the user should see it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine/cloud/MultipartFormBody.h"
#include "engine/whisper/WhisperInference.h"
#include "engine/whisper/WhisperOutput.h"

namespace tavlo {
namespace {

TEST(WhisperOutputNormalization, CleansMarkersLinesAndSpaces) {
    struct Case {
        const char* output;
        const char* expected;
    };
    for (const Case& c : {
             Case{"[BLANK_AUDIO]", ""},
             Case{" [BLANK_AUDIO]\n", ""},
             Case{"Hello\n\n  world [BLANK_AUDIO]", "Hello world"},
             Case{" Hello world.\n How are you?\n", "Hello world. How are you?"},
             Case{"(blank audio) <|nospeech|> [ blank_audio ] (BLANK_AUDIO)", ""},
             Case{"one [Blank Audio] two", "one two"},
             Case{"word[BLANK_AUDIO] stays glued", "word[BLANK_AUDIO] stays glued"},
             Case{"[BLANK_AUDIO]. is not alone", "[BLANK_AUDIO]. is not alone"},
             Case{"a\r\nb\u2028c\u0085d", "a b c d"},
             Case{"  spaced \t  out\u00a0\u00a0text  ", "spaced out text"},
             Case{"", ""},
             Case{"Grüße, 日本語 ✓", "Grüße, 日本語 ✓"},
             // Sound descriptions and inventions on silence hold no words.
             Case{"[Music]", ""},
             Case{" (upbeat music)\n", ""},
             Case{"[ Silence ]\n *sigh* \n\u266a \u266a", ""},
             Case{" you", ""},
             Case{"Thanks for watching!", ""},
             Case{"Hello [Music] world", "Hello world"},
             Case{"Hello\n (laughs)\n world", "Hello world"},
             // Words around them, or dictated parentheses, are speech.
             Case{"It rose (roughly 40 percent) last year.", "It rose (roughly 40 percent) last year."},
             Case{"*sigh* I know", "*sigh* I know"},
             Case{"you know what", "you know what"},
             Case{"Thank you.", "Thank you."},
             Case{"see [2] and [\"a\"]", "see [2] and [\"a\"]"},
         }) {
        EXPECT_EQ(normalizeWhisperOutput(c.output), c.expected) << c.output;
    }
}

// whisper-cli prints its usage (about 75 lines) around a missing input, and
// progress lines even with -np: only the lines reporting the error remain.
TEST(WhisperCliErrorMessage, KeepsTheErrorLinesBounded) {
    std::string usage = "\nusage: whisper-cli [options] file0 file1 ...\n";
    for (int i = 0; i < 75; ++i) usage += "  -opt N,    --option N    [default] some option\n";
    struct Case {
        std::string standardError;
        std::string expected;
    };
    const std::string longError = "error: " + std::string(400, 'x');
    const std::string umlauts = "Error: " + std::string(292, 'a') + "üüüü";
    for (const Case& c : {
             Case{"error: input file not found 'a.wav'\n" + usage, "error: input file not found 'a.wav'"},
             Case{usage + "  ERROR: no input files specified  \n", "ERROR: no input files specified"},
             Case{"read_audio_data: read 1234 samples\nwhisper_full: failed to encode\n"
                  "error: failed to process audio\noutput_txt: saving output\n",
                  "error: failed to process audio"},
             Case{"whisper_init: failed\nerror: one\nError: two\n", "error: one Error: two"},
             Case{"first line\nonly a last line  \n\n", "only a last line"},
             Case{"", ""},
             Case{longError, longError.substr(0, 300) + "..."},
             Case{umlauts, "Error: " + std::string(292, 'a') + "..."},
         }) {
        EXPECT_EQ(whisperCliErrorMessage(c.standardError), c.expected) << c.standardError.substr(0, 60);
    }
}

TEST(WhisperOutputNormalization, OnlyWellFormedUtf8IsText) {
    EXPECT_EQ(utf8TextOrEmpty("plain ü"), "plain ü");
    EXPECT_EQ(utf8TextOrEmpty(std::string("bad \xff byte")), "");
    EXPECT_EQ(utf8TextOrEmpty(std::string("\xc0\xaf")), "");  // overlong slash
    EXPECT_EQ(utf8TextOrEmpty(""), "");
}

// The wait on the server grows with the audio: a dictation never waits
// minutes on a server that does not answer, a long file is not cut off.
TEST(WhisperInferenceRequest, TimeLimitFitsTheAudiosLength) {
    const struct {
        std::uintmax_t wavSize;
        double seconds;
        double limit;
    } cases[] = {
        {0, 0.0, 60.0},
        {44, 0.0, 60.0},                     // a header and no samples
        {44 + 32000 * 5, 5.0, 70.0},         // a dictation of five seconds
        {44 + 32000 * 1800, 1800.0, 3660.0}, // a 30-minute file (57.6 MB)
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(whisperWavSeconds(c.wavSize), c.seconds) << c.wavSize;
        EXPECT_DOUBLE_EQ(whisperInferenceTimeoutSeconds(whisperWavSeconds(c.wavSize)), c.limit) << c.wavSize;
    }
}

// Sent from disk, the request is the same byte for byte as one built in memory.
TEST(WhisperInferenceRequest, FromDiskMatchesTheRequestBuiltInMemory) {
    const std::string wav("RIFF\0\x01\xff", 7);
    const std::filesystem::path file = std::filesystem::temp_directory_path() / ("tavlo-upload-" + std::to_string(::getpid()) + ".wav");
    std::ofstream(file, std::ios::binary) << wav;
    const HttpRequest inMemory = whisperInferenceRequest("http://127.0.0.1:18131/", "SorvelBoundary-ABC", wav);
    const HttpRequest fromDisk = whisperInferenceUpload("http://127.0.0.1:18131/", "SorvelBoundary-ABC", file);
    std::filesystem::remove(file);
    EXPECT_EQ(fromDisk.bodyFile, file.string());
    EXPECT_EQ(fromDisk.body + wav + fromDisk.bodyAfterFile, inMemory.body);
    EXPECT_EQ(fromDisk.headers, inMemory.headers);
    EXPECT_EQ(fromDisk.url, inMemory.url);
    EXPECT_EQ(fromDisk.method, inMemory.method);
}

TEST(WhisperInferenceRequest, IsBuiltByteForByte) {
    const std::string wav("RIFF\0\x01\xff", 7);
    const HttpRequest request = whisperInferenceRequest("http://127.0.0.1:18131/", "SorvelBoundary-ABC", wav);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.url, "http://127.0.0.1:18131/inference");
    EXPECT_EQ(request.timeoutSeconds, 600.0);
    EXPECT_EQ(request.cachePolicy, HttpCachePolicy::useProtocolDefault);
    EXPECT_EQ(request.headers, (std::vector<std::pair<std::string, std::string>>{
                                   {"Content-Type", "multipart/form-data; boundary=SorvelBoundary-ABC"}, {"Expect", ""}, {"Connection", "close"}}));
    EXPECT_EQ(request.body,
              "--SorvelBoundary-ABC\r\n"
              "Content-Disposition: form-data; name=\"response_format\"\r\n\r\n"
              "json\r\n"
              "--SorvelBoundary-ABC\r\n"
              "Content-Disposition: form-data; name=\"temperature\"\r\n\r\n"
              "0\r\n"
              "--SorvelBoundary-ABC\r\n"
              "Content-Disposition: form-data; name=\"file\"; filename=\"audio.wav\"\r\n"
              "Content-Type: audio/wav\r\n\r\n" +
                  wav + "\r\n--SorvelBoundary-ABC--\r\n");
}

TEST(WhisperInferenceReply, EachKindOfReply) {
    auto reply = [](int status, std::string body) { return HttpResult{HttpResponse{status, {}, std::move(body)}, {}}; };
    struct Case {
        const char* name;
        HttpResult result;
        bool ok;
        std::string text;
    };
    const std::vector<Case> cases{
        {"JSON text", reply(200, "{\"text\":\" hello world\\n\"}"), true, " hello world\n"},
        {"any 2xx", reply(201, "{\"text\":\"x\"}"), true, "x"},
        {"JSON without text: the whole body", reply(200, "{\"other\":1}"), true, "{\"other\":1}"},
        {"text that is not a string: the whole body", reply(200, "{\"text\":5}"), true, "{\"text\":5}"},
        {"plain body", reply(200, " plain words"), true, " plain words"},
        {"empty body", reply(200, ""), true, ""},
        {"server error text", reply(500, "model not loaded"), false, "model not loaded"},
        {"bad request", reply(400, "Invalid request"), false, "Invalid request"},
        {"error without a body", reply(503, ""), false, ""},
        {"invalid UTF-8 reads as empty", reply(500, "\xff\xfe"), false, ""},
        // Nesting beyond the bound is not parsed (a parser would recurse 50,000 deep).
        {"deep nesting: the whole body", reply(200, std::string(50000, '[') + std::string(50000, ']')), true,
         std::string(50000, '[') + std::string(50000, ']')},
        {"transport error", HttpResult{std::nullopt, HttpTransportError{HttpTransportError::Kind::timedOut, "The request timed out."}},
         false, "The request timed out."},
    };
    for (const auto& c : cases) {
        const auto read = readWhisperInferenceReply(c.result);
        if (c.ok) {
            ASSERT_TRUE(std::holds_alternative<WhisperTranscript>(read)) << c.name;
            EXPECT_EQ(std::get<WhisperTranscript>(read).text, c.text) << c.name;
        } else {
            ASSERT_TRUE(std::holds_alternative<WhisperInferenceFailure>(read)) << c.name;
            EXPECT_EQ(std::get<WhisperInferenceFailure>(read).message, c.text) << c.name;
        }
    }
}

}  // namespace
}  // namespace tavlo
