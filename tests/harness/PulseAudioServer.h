#pragma once
// A private PulseAudio server for tests, with a virtual microphone: speech
// played into the null sink "micfeed" comes out of the mono source "vmic"
// (the default source). A second null sink, "speaker", is the default output.
// Everything lives in a temporary folder; nothing of the user's own sound
// server is used. While the object exists, this process's libpulse clients
// connect to it. Start-up is bounded in time; the server and its helpers are
// stopped by their process ids.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "harness/TemporaryDirectory.h"

namespace tavlo::testing {

class PulseAudioServer {
public:
    static constexpr const char* microphoneName = "vmic";
    static constexpr const char* microphoneDescription = "Virtual Microphone of the tests";
    static constexpr const char* microphoneFeedSink = "micfeed";

    // The programs this needs that are not installed (empty when all are).
    static std::string missingPrograms();

    // Starts the server; check `running()` / `error()`.
    PulseAudioServer();
    ~PulseAudioServer();
    PulseAudioServer(const PulseAudioServer&) = delete;
    PulseAudioServer& operator=(const PulseAudioServer&) = delete;

    bool running() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    const std::filesystem::path& folder() const { return folder_.path(); }

    // Lets every local user's programs reach the server (the tests' Wayland
    // desktop runs its programs as another user): its folder can be passed
    // through and its socket opened; nothing else in it can be listed.
    bool openToOtherUsers() const;

    // Kills the server at once, as a crash would, and starts it again.
    void kill();
    bool restart();

    // Runs pactl against this server; returns its output, or empty on failure.
    std::string pactl(const std::vector<std::string>& arguments) const;

    // Speech made by espeak-ng, as a WAVE file (made once per text).
    std::filesystem::path speechFile(const std::string& text);
    // Plays into the virtual microphone and waits until it has played.
    bool playSpeech(const std::string& text);
    // Starts playing and returns at once; `waitForPlayback` waits for the end.
    bool startSpeech(const std::string& text);
    bool startPlaying(const std::filesystem::path& file);
    bool waitForPlayback();

private:
    bool start();
    void stop();
    bool waitUntilReady();
    bool waitForLowLatency();
    std::vector<std::string> environment() const;

    TemporaryDirectory folder_;
    std::string error_;
    pid_t serverPid_ = -1;
    std::vector<pid_t> readerPids_;
    pid_t playerPid_ = -1;
    int speechFiles_ = 0;
    std::vector<std::pair<std::string, std::filesystem::path>> speech_;
    std::vector<std::pair<std::string, std::string>> savedEnvironment_;
};

}  // namespace tavlo::testing
