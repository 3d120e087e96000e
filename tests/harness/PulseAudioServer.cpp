#include "harness/PulseAudioServer.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "harness/ChildProcesses.h"

namespace tavlo::testing {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto startTimeout = std::chrono::seconds(10);
constexpr auto toolTimeout = std::chrono::seconds(20);
// The variables through which libpulse finds its server, cookie and settings.
const std::vector<std::string> clientVariables = {"PULSE_SERVER", "PULSE_COOKIE", "PULSE_CLIENTCONFIG",
                                                  "PULSE_RUNTIME_PATH", "PULSE_SINK", "PULSE_SOURCE"};

}  // namespace

std::string PulseAudioServer::missingPrograms() {
    std::string missing;
    for (const char* program : {"pulseaudio", "pactl", "paplay", "parec", "espeak-ng"})
        if (findProgram(program).empty()) missing += std::string(program) + " ";
    return missing;
}

PulseAudioServer::PulseAudioServer() {
    if (folder().empty()) {
        error_ = "cannot create a temporary folder";
        return;
    }
    for (const char* sub : {"home/.config/pulse", "run/pulse", "speech"})
        std::filesystem::create_directories(folder() / sub);
    ::chmod((folder() / "run").c_str(), 0700);
    {
        std::ofstream client(folder() / "client.conf");
        client << "autospawn = no\n";
    }
    {
        // Descriptions with spaces only survive inside the quoted property list.
        std::ofstream script(folder() / "server.pa");
        script << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << (folder() / "native").string()
               << "\n"
                  "load-module module-null-sink sink_name=" << microphoneFeedSink
               << " sink_properties=device.description=MicFeed\n"
                  "load-module module-remap-source source_name="
               << microphoneName << " master=" << microphoneFeedSink
               << ".monitor channels=1 channel_map=mono source_properties=\"device.description='"
               << microphoneDescription
               << "'\"\n"
                  "load-module module-null-sink sink_name=speaker sink_properties=device.description=Speaker\n"
                  "set-default-source "
               << microphoneName << "\nset-default-sink speaker\n";
    }
    // libpulse reads these when a connection is made: this process's clients
    // find the private server, and never the user's.
    for (const std::string& name : clientVariables) {
        const char* value = std::getenv(name.c_str());
        savedEnvironment_.emplace_back(name, value ? value : std::string("\x01"));
        ::unsetenv(name.c_str());
    }
    ::setenv("PULSE_SERVER", ("unix:" + (folder() / "native").string()).c_str(), 1);
    ::setenv("PULSE_COOKIE", (folder() / "home/.config/pulse/cookie").c_str(), 1);
    ::setenv("PULSE_CLIENTCONFIG", (folder() / "client.conf").c_str(), 1);
    ::setenv("PULSE_RUNTIME_PATH", (folder() / "run/pulse").c_str(), 1);
    if (!start()) stop();
}

bool PulseAudioServer::openToOtherUsers() const {
    return ::chmod(folder().c_str(), 0711) == 0 && ::chmod((folder() / "native").c_str(), 0666) == 0 &&
           ::chmod((folder() / "client.conf").c_str(), 0644) == 0;
}

PulseAudioServer::~PulseAudioServer() {
    stop();
    for (const auto& [name, value] : savedEnvironment_) {
        if (value == "\x01")
            ::unsetenv(name.c_str());
        else
            ::setenv(name.c_str(), value.c_str(), 1);
    }
}

std::vector<std::string> PulseAudioServer::environment() const {
    return childEnvironment({{"HOME", (folder() / "home").string()},
                             {"XDG_CONFIG_HOME", (folder() / "home/.config").string()},
                             {"XDG_RUNTIME_DIR", (folder() / "run").string()}},
                            {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "WAYLAND_DISPLAY"});
}

bool PulseAudioServer::start() {
    const std::string server = findProgram("pulseaudio");
    if (server.empty()) {
        error_ = "pulseaudio is not installed";
        return false;
    }
    error_.clear();
    serverPid_ = spawn({server, "--system=false", "--daemonize=no", "-n", "-F", (folder() / "server.pa").string(),
                        "--exit-idle-time=-1", "--use-pid-file=no", "--realtime=no", "--high-priority=no",
                        "--log-target=stderr"},
                       environment(), folder() / "server.log", nullptr);
    if (serverPid_ <= 0) {
        error_ = "cannot start pulseaudio";
        return false;
    }
    if (!waitUntilReady()) {
        error_ = "the sound server did not start in time: " + readLog(folder() / "server.log");
        return false;
    }
    // A null sink nobody reads with low latency renders in 2-second blocks;
    // one low-latency reader per sink keeps audio flowing in small steps.
    const std::string reader = findProgram("parec");
    for (const std::string& sink : {std::string(microphoneFeedSink), std::string("speaker")}) {
        const pid_t pid = spawn({reader, "--latency-msec=20", "-d", sink + ".monitor", "/dev/null"}, environment(),
                                folder() / "readers.log", nullptr);
        if (pid > 0) readerPids_.push_back(pid);
    }
    if (!waitForLowLatency()) {
        error_ = "the sound server's sinks did not reach a low latency in time";
        return false;
    }
    return true;
}

bool PulseAudioServer::waitUntilReady() {
    const auto deadline = Clock::now() + startTimeout;
    while (Clock::now() < deadline) {
        if (exited(serverPid_)) {
            serverPid_ = -1;
            return false;
        }
        if (std::filesystem::exists(folder() / "native") && !pactl({"info"}).empty()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

bool PulseAudioServer::waitForLowLatency() {
    const auto deadline = Clock::now() + startTimeout;
    while (Clock::now() < deadline) {
        std::istringstream sinks(pactl({"list", "sinks"}));
        int lowLatencySinks = 0;
        for (std::string line; std::getline(sinks, line);) {
            const std::size_t at = line.find("Latency: ");
            if (at == std::string::npos) continue;
            const long usec = std::strtol(line.c_str() + at + 9, nullptr, 10);
            if (usec < 100000) ++lowLatencySinks;
        }
        if (lowLatencySinks >= 2) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

void PulseAudioServer::stop() {
    if (playerPid_ > 0) stopProcess(playerPid_);
    playerPid_ = -1;
    for (pid_t pid : readerPids_) stopProcess(pid);
    readerPids_.clear();
    if (serverPid_ > 0) stopProcess(serverPid_);
    serverPid_ = -1;
}

void PulseAudioServer::kill() {
    if (serverPid_ > 0) {
        ::kill(serverPid_, SIGKILL);
        ::waitpid(serverPid_, nullptr, 0);
    }
    serverPid_ = -1;
    stop();
    std::error_code ignored;
    std::filesystem::remove(folder() / "native", ignored);
}

bool PulseAudioServer::restart() {
    kill();
    if (start()) return true;
    stop();
    return false;
}

std::string PulseAudioServer::pactl(const std::vector<std::string>& arguments) const {
    std::vector<std::string> argv = {findProgram("pactl")};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const auto log = folder() / "pactl.out";
    std::error_code ignored;
    std::filesystem::remove(log, ignored);
    const pid_t pid = spawn(argv, environment(), log, nullptr);
    if (pid <= 0) return {};
    const int status = waitForProcess(pid, toolTimeout);
    if (status < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    return readLog(log);
}

std::filesystem::path PulseAudioServer::speechFile(const std::string& text) {
    for (const auto& [spoken, file] : speech_)
        if (spoken == text) return file;
    const auto file = folder() / "speech" / ("speech-" + std::to_string(++speechFiles_) + ".wav");
    const pid_t pid = spawn({findProgram("espeak-ng"), "-v", "en-us", "-w", file.string(), text}, environment(),
                            folder() / "espeak.log", nullptr);
    const int status = pid > 0 ? waitForProcess(pid, toolTimeout) : -1;
    if (status < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    speech_.emplace_back(text, file);
    return file;
}

bool PulseAudioServer::startPlaying(const std::filesystem::path& file) {
    if (file.empty() || playerPid_ > 0) return false;
    playerPid_ = spawn({findProgram("paplay"), "--latency-msec=20", "-d", microphoneFeedSink, file.string()},
                       environment(), folder() / "paplay.log", nullptr);
    return playerPid_ > 0;
}

bool PulseAudioServer::startSpeech(const std::string& text) { return startPlaying(speechFile(text)); }

bool PulseAudioServer::waitForPlayback() {
    if (playerPid_ <= 0) return false;
    const int status = waitForProcess(playerPid_, toolTimeout);
    playerPid_ = -1;
    return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool PulseAudioServer::playSpeech(const std::string& text) { return startSpeech(text) && waitForPlayback(); }

}  // namespace tavlo::testing
