// `tavlo transcribe FILE` on the real executable: its refusals, its messages,
// and the diagnostics log it leaves in the user's state folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "harness/BackgroundProgram.h"
#include "harness/RunProgram.h"
#include "harness/ScriptedHttpServer.h"
#include "harness/TemporaryDirectory.h"

namespace tavlo::testing {
namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class TranscribeCommand : public ::testing::Test {
protected:
    TranscribeCommand() {
        std::ofstream(source, std::ios::binary) << "not really audio";
        fs::create_directories(temporary);
        environment["TMPDIR"] = temporary.string();
    }

    // Working copies are removed whatever the outcome.
    void expectNoWorkFilesLeft() {
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(temporary, error))
            if (entry.is_regular_file()) ADD_FAILURE() << "left behind: " << entry.path();
    }

    ProgramResult run(const std::vector<std::string>& args, const std::string& input = "") {
        return runTavlo(args, input, environment);
    }
    void setSetting(const std::string& name, const std::string& value) {
        const auto result = run({"settings", "set", name, value});
        ASSERT_EQ(result.status, 0) << result.err;
    }

    TemporaryDirectory home;
    std::map<std::string, std::string> environment = freshUserEnvironment(home.path());
    fs::path source = home.path() / "memo.m4a";
    fs::path temporary = home.path() / "tmp";
};

TEST_F(TranscribeCommand, RefusalsPrintTheirMessageAndAreLogged) {
    struct Case {
        const char* model;
        const char* message;
    };
    const Case cases[] = {
        {"Apple on-device", "Choose Local Whisper or OpenAI cloud before transcribing a file."},
        {"Local Whisper",
         "Local Whisper needs whisper.cpp: install its whisper-server or whisper-cli program (the README shows how)."},
    };
    // whisper.cpp is looked for in the system's program folders.
    bool whisperInstalled = false;
    for (const char* folder : {"/opt/homebrew/bin", "/usr/local/bin", "/usr/bin"})
        for (const char* tool : {"whisper-server", "whisper-cli"})
            whisperInstalled = whisperInstalled || ::access((fs::path(folder) / tool).c_str(), X_OK) == 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        if (whisperInstalled && std::string(c.model) == "Local Whisper") continue;
        setSetting("speechModel", c.model);
        const auto result = run({"transcribe", source.string()});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, std::string("tavlo: ") + c.message + "\n");
        EXPECT_NE(read(home.path() / ".local/state/tavlo/Tavlo.log").find(std::string("] present error=") + c.message),
                  std::string::npos);
    }
    EXPECT_EQ(read(source), "not really audio");
}

TEST_F(TranscribeCommand, OwnKeyModeWithoutAKeyIsRefused) {
    setSetting("speechModel", "OpenAI cloud");
    setSetting("openAICloudMode", "Own OpenAI key");
    const auto result = run({"transcribe", source.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "tavlo: Save your OpenAI API key in Home before using Own OpenAI key mode.\n");
}

TEST_F(TranscribeCommand, WithoutAStateFolderSettingTheLogGoesUnderTheHomeFolder) {
    environment.erase("XDG_STATE_HOME");
    const auto result = run({"transcribe", source.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(read(home.path() / ".local/state/tavlo/Tavlo.log").find("present error="), std::string::npos);
}

TEST_F(TranscribeCommand, TheCloudTranscribesAndTheTextIsPrintedAndSavedBesideTheFile) {
    ScriptedHttpServer openAI;
    environment["TAVLO_OPENAI_BASE_URL"] = openAI.baseURL();
    openAI.answerNext({200, R"({"text":"the meeting is at noon"})"});
    setSetting("speechModel", "OpenAI cloud");
    setSetting("openAICloudMode", "Own OpenAI key");
    ASSERT_EQ(run({"secret", "set", "openai-key"}, "sk-test-key\n").status, 0);

    const auto result = run({"transcribe", source.string()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "The meeting is at noon.\n");
    const fs::path saved = home.path() / "memo-transcript.txt";
    EXPECT_EQ(result.err, "tavlo: transcript saved to " + saved.string() + "\n");
    EXPECT_EQ(read(saved), "The meeting is at noon.");
    EXPECT_EQ(read(source), "not really audio");

    const auto requests = openAI.requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& request = requests[0];
    EXPECT_EQ(request.path, "/v1/audio/transcriptions");
    EXPECT_EQ(request.header("Authorization"), "Bearer sk-test-key");
    // The working copy keeps the file's type; a file has no dictionary prompt.
    EXPECT_NE(request.body.find("Content-Type: audio/mp4\r\n\r\nnot really audio"), std::string::npos);
    EXPECT_EQ(request.body.find("name=\"prompt\""), std::string::npos);
    expectNoWorkFilesLeft();
}

TEST_F(TranscribeCommand, TheHostedServiceUsesTheStoredTokenAndItsFailuresAreReported) {
    ScriptedHttpServer service;
    environment["TAVLO_SERVICE_URL"] = service.baseURL();
    service.answerNext({404, "Not Found", "text/plain"});
    setSetting("speechModel", "OpenAI cloud");
    ASSERT_EQ(run({"secret", "set", "service-token"}, "tok-123\n").status, 0);

    const auto result = run({"transcribe", source.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "tavlo: The Tavlo cloud service is not available yet. Use Own OpenAI key mode or switch back to "
              "Local Whisper.\n");
    const auto requests = service.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/.netlify/functions/cloud-transcribe");
    EXPECT_EQ(requests[0].header("Authorization"), "Bearer tok-123");
    EXPECT_FALSE(fs::exists(home.path() / "memo-transcript.txt"));
    expectNoWorkFilesLeft();
}

TEST_F(TranscribeCommand, AFileThatCannotBeCopiedIsReportedOnce) {
    ScriptedHttpServer openAI;
    environment["TAVLO_OPENAI_BASE_URL"] = openAI.baseURL();
    setSetting("speechModel", "OpenAI cloud");
    setSetting("openAICloudMode", "Own OpenAI key");
    ASSERT_EQ(run({"secret", "set", "openai-key"}, "sk-test-key\n").status, 0);

    const auto result = run({"transcribe", (home.path() / "missing.wav").string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "tavlo: Could not read \"missing.wav\": No such file or directory.\n");
    EXPECT_TRUE(openAI.requests().empty());
}

// A named pipe would block the copy for ever, and a folder or a device is no
// recording: all are refused before anything is sent, without waiting.
TEST_F(TranscribeCommand, OnlyRegularFilesAreTranscribed) {
    ScriptedHttpServer openAI;
    environment["TAVLO_OPENAI_BASE_URL"] = openAI.baseURL();
    setSetting("speechModel", "OpenAI cloud");
    setSetting("openAICloudMode", "Own OpenAI key");
    ASSERT_EQ(run({"secret", "set", "openai-key"}, "sk-test-key\n").status, 0);
    const fs::path pipe = home.path() / "pipe.wav";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const fs::path folder = home.path() / "folder.wav";
    fs::create_directories(folder);

    for (const fs::path& file : {pipe, folder, fs::path("/dev/zero")}) {
        SCOPED_TRACE(file);
        const auto result = run({"transcribe", file.string()});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "tavlo: \"" + file.filename().string() +
                                  "\" is not a regular file; only audio or video files can be transcribed.\n");
    }
    EXPECT_TRUE(openAI.requests().empty());
    expectNoWorkFilesLeft();
}

// A recording goes only where it was sent, and a web page (a network login
// page, a proxy's error) is never taken for the transcript.
TEST_F(TranscribeCommand, RedirectsAndWebPagesAreFailures) {
    ScriptedHttpServer elsewhere;
    ScriptedHttpServer openAI;
    environment["TAVLO_OPENAI_BASE_URL"] = openAI.baseURL();
    setSetting("speechModel", "OpenAI cloud");
    setSetting("openAICloudMode", "Own OpenAI key");
    ASSERT_EQ(run({"secret", "set", "openai-key"}, "sk-test-key\n").status, 0);
    struct Case {
        ScriptedHttpServer::Reply reply;
        std::string message;
    };
    for (int status : {307, 308}) {
        openAI.redirectNext(status, elsewhere.baseURL() + "steal");
        const auto result = run({"transcribe", source.string()});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "tavlo: The server redirected the upload elsewhere (HTTP status " +
                                  std::to_string(status) + "); the recording was not sent there.\n");
    }
    const Case cases[] = {
        {{200, "<html><body>Sign in to the hotel network</body></html>", "text/html; charset=utf-8"},
         "The server answered with a web page instead of a transcript (HTTP status 200). A network login page or a "
         "proxy may be in the way."},
        {{200, "\n  <!DOCTYPE html><title>Proxy error</title>", "text/plain"},
         "The server answered with a web page instead of a transcript (HTTP status 200). A network login page or a "
         "proxy may be in the way."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        openAI.answerNext(c.reply);
        const auto result = run({"transcribe", source.string()});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "tavlo: " + c.message + "\n");
    }
    EXPECT_TRUE(elsewhere.requests().empty());
    EXPECT_FALSE(fs::exists(home.path() / "memo-transcript.txt"));

    // Plain text is still the transcript.
    openAI.answerNext({200, "plain words", "text/plain"});
    const auto plain = run({"transcribe", source.string()});
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out, "Plain words.\n");
}

TEST_F(TranscribeCommand, AStopRequestOrCtrlCEndsTheRunWithItsWorkFilesRemoved) {
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGINT");
        ScriptedHttpServer openAI;
        environment["TAVLO_OPENAI_BASE_URL"] = openAI.baseURL();
        // The upload is answered only when the test says so: the run is busy.
        openAI.answerNext({200, R"({"text":"never seen"})", "application/json", true});
        setSetting("speechModel", "OpenAI cloud");
        setSetting("openAICloudMode", "Own OpenAI key");
        ASSERT_EQ(run({"secret", "set", "openai-key"}, "sk-test-key\n").status, 0);

        std::vector<std::string> arguments{"-i"};
        for (const auto& [name, value] : environment) arguments.push_back(name + "=" + value);
        arguments.insert(arguments.end(), {TAVLO_BINARY, "transcribe", source.string()});
        BackgroundProgram program("/usr/bin/env", arguments);
        ASSERT_TRUE(openAI.waitForRequests(1, std::chrono::seconds(30)));
        bool copied = false;
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(temporary, error))
            copied = copied || entry.path().extension() == ".m4a";
        EXPECT_TRUE(copied) << "the working copy exists while the upload runs";

        ::kill(program.pid(), signal);
        int status = 0;
        ASSERT_EQ(::waitpid(program.pid(), &status, 0), program.pid());
        EXPECT_TRUE(WIFEXITED(status)) << "ended by its own hand, not by the signal";
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        openAI.releaseHeldReplies();
        expectNoWorkFilesLeft();
        EXPECT_FALSE(fs::exists(home.path() / "memo-transcript.txt"));
    }
}

// The shared temporary folder is open to every local user: one who creates
// the work folder first must not get to see or swap the user's recording.
TEST_F(TranscribeCommand, AWorkFolderSomeoneElseMadeIsRefused) {
    ScriptedHttpServer openAI;
    environment["TAVLO_OPENAI_BASE_URL"] = openAI.baseURL();
    setSetting("speechModel", "OpenAI cloud");
    setSetting("openAICloudMode", "Own OpenAI key");
    ASSERT_EQ(run({"secret", "set", "openai-key"}, "sk-test-key\n").status, 0);
    // A shared temporary folder like /tmp, which the other user can reach.
    fs::permissions(home.path(), fs::perms::owner_all | fs::perms::others_exec);
    fs::permissions(temporary, fs::perms::all | fs::perms::sticky_bit);
    const fs::path workFolder = temporary / ("tavlo-" + std::to_string(::geteuid()));
    // Another user (nobody) creates it first, open to all.
    const auto planted = runProgram("/usr/bin/setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "/bin/mkdir",
                                                         "-m", "0777", workFolder.string()});
    ASSERT_EQ(planted.status, 0) << planted.err;

    const auto result = run({"transcribe", source.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "tavlo: The work folder \"" + workFolder.string() +
                              "\" is not private to this user: it must be a folder (not a link) owned by this user "
                              "that no one else can open. Remove it and try again.\n");
    EXPECT_TRUE(openAI.requests().empty());
    EXPECT_TRUE(fs::is_empty(workFolder));

    // Once it is gone, the program makes its own, closed to others.
    fs::remove(workFolder);
    openAI.answerNext({200, R"({"text":"fine"})"});
    EXPECT_EQ(run({"transcribe", source.string()}).status, 0);
    struct stat info {};
    ASSERT_EQ(::lstat(workFolder.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, ::geteuid());
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

// A server's message is untrusted text: on the terminal its control
// characters are replaced, and in the log it stays inside one entry.
TEST_F(TranscribeCommand, AServersMessageIsMadeSafeForTheTerminalAndTheLog) {
    ScriptedHttpServer service;
    environment["TAVLO_SERVICE_URL"] = service.baseURL();
    service.answerNext({500, R"({"error":"Quota exceeded\r\n[2026-01-01T00:00:00Z] forged \u001b[2J entry"})"});
    setSetting("speechModel", "OpenAI cloud");
    ASSERT_EQ(run({"secret", "set", "service-token"}, "tok-123\n").status, 0);

    const auto result = run({"transcribe", source.string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "tavlo: Quota exceeded\n[2026-01-01T00:00:00Z] forged \uFFFD[2J entry\n");
    const std::string log = read(home.path() / ".local/state/tavlo/Tavlo.log");
    EXPECT_NE(log.find("] present error=Quota exceeded\\r\\n[2026-01-01T00:00:00Z] forged \\u001b[2J entry\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("\n[2026-01-01"), std::string::npos) << log;
}

// A server that echoes what it was sent puts the key into its message: what
// is printed and what is logged carry neither the key nor any other Bearer
// credential, for the own key and for the service's token alike.
TEST_F(TranscribeCommand, AServersMessageEchoingTheCredentialIsRedactedOnTheTerminalAndInTheLog) {
    struct Case {
        const char* name;
        const char* urlVariable;
        std::vector<std::string> mode;
        const char* secretName;
        std::string secret;
        std::string body;
        std::string shown;
    };
    const Case cases[] = {
        {"OwnKey", "TAVLO_OPENAI_BASE_URL", {"openAICloudMode", "Own OpenAI key"}, "openai-key",
         "sk-proj-Zq81TestKey",
         R"j({"error":{"message":"Incorrect API key provided: sk-proj-Zq81TestKey. Received header Authorization: Bearer sk-proj-Zq81TestKey; upstream wanted bearer eyJhbGciOi.J9.sig"}})j",
         "Incorrect API key provided: [redacted]. Received header Authorization: Bearer [redacted]; upstream wanted "
         "bearer [redacted]"},
        {"ServiceToken", "TAVLO_SERVICE_URL", {"openAICloudMode", "Tavlo service"}, "service-token", "tok-7781-secret",
         R"j({"error":"token tok-7781-secret was refused (Authorization: Bearer tok-7781-secret)"})j",
         "token [redacted] was refused (Authorization: Bearer [redacted])"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHttpServer server;
        environment["TAVLO_OPENAI_BASE_URL"] = environment["TAVLO_SERVICE_URL"] = server.baseURL();
        server.answerNext({401, c.body});
        setSetting("speechModel", "OpenAI cloud");
        setSetting(c.mode[0], c.mode[1]);
        ASSERT_EQ(run({"secret", "set", c.secretName}, c.secret + "\n").status, 0);

        const auto result = run({"transcribe", source.string()});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "tavlo: " + c.shown + "\n");
        ASSERT_EQ(server.requests().size(), 1u);
        EXPECT_EQ(server.requests()[0].header("Authorization"), "Bearer " + c.secret) << "the request itself is unchanged";
        const std::string log = read(home.path() / ".local/state/tavlo/Tavlo.log");
        EXPECT_NE(log.find("] present error=" + c.shown + "\n"), std::string::npos) << log;
        EXPECT_EQ(log.find(c.secret), std::string::npos) << log;
        EXPECT_EQ(log.find("eyJhbGciOi"), std::string::npos) << log;
    }
}

TEST_F(TranscribeCommand, NeedsExactlyOneFile) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"transcribe"}, std::vector<std::string>{"transcribe", "a.m4a", "b.m4a"}}) {
        const auto result = run(args);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err, "usage: tavlo transcribe FILE\n");
    }
}

}  // namespace
}  // namespace tavlo::testing
