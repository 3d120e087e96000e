#pragma once
// Starts a program in the background for the length of a test (a stand-in
// server, say), reads lines from its standard output, and ends it by its
// process id when the test is done. No shell is involved.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace tavlo::testing {

class BackgroundProgram {
public:
    BackgroundProgram(const std::string& program, const std::vector<std::string>& args) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        // Made before the fork: the child of a threaded process must not allocate.
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            const int null = ::open("/dev/null", O_RDONLY);
            ::dup2(null, 0);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        output_ = out[0];
    }

    ~BackgroundProgram() { stop(); }
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    pid_t pid() const { return pid_; }

    // The next line of standard output without its line feed; empty when the
    // program ended or said nothing for `limit`.
    std::string readLine(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            if (const auto end = buffer_.find('\n'); end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd entry{output_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) return {};
            char chunk[512];
            const ssize_t got = ::read(output_, chunk, sizeof chunk);
            if (got <= 0) return {};
            buffer_.append(chunk, static_cast<size_t>(got));
        }
    }

    // The exit status once the program ended by itself within `limit`
    // (then it is gone and stop() has nothing left to do); -1 when it still
    // runs or did not exit normally.
    int waitForExit(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (pid_ > 0) {
            int status = 0;
            const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
            if (ended == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (ended < 0 || std::chrono::steady_clock::now() > deadline) return -1;
            ::usleep(50000);
        }
        return -1;
    }

    // Asks the program to end and waits for it.
    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
        }
        if (output_ >= 0) {
            ::close(output_);
            output_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string buffer_;
};

}  // namespace tavlo::testing
