#include "harness/ChildProcesses.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

extern char** environ;

namespace tavlo::testing {

using Clock = std::chrono::steady_clock;

std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    folders += ":/usr/sbin:/sbin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + name;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

std::vector<std::string> childEnvironment(const std::vector<std::pair<std::string, std::string>>& replaced,
                                          const std::vector<std::string>& removed) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        const std::string name = text.substr(0, text.find('='));
        bool drop = false;
        for (const auto& name2 : removed) drop = drop || name == name2;
        for (const auto& [name2, value] : replaced) drop = drop || name == name2;
        if (!drop) result.push_back(text);
    }
    for (const auto& [name, value] : replaced) result.push_back(name + "=" + value);
    return result;
}

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
            const std::filesystem::path& log, const std::string* input) {
    // A socket rather than a pipe: writing to a program that already died then
    // fails with an error instead of killing this process with SIGPIPE.
    int inputPipe[2] = {-1, -1};
    if (input && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, inputPipe) != 0) return -1;
    const int logFile = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const int nullInput = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

    // Everything the child needs is prepared before fork: after it, only
    // async-signal-safe calls.
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<char*> env;
    for (const auto& entry : environment) env.push_back(const_cast<char*>(entry.c_str()));
    env.push_back(nullptr);
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        if (::dup2(input ? inputPipe[0] : nullInput, 0) < 0 || ::dup2(logFile, 1) < 0 || ::dup2(logFile, 2) < 0)
            ::_exit(127);
        ::execve(args[0], args.data(), env.data());
        ::_exit(127);
    }
    ::close(logFile);
    ::close(nullInput);
    if (input) {
        ::close(inputPipe[0]);
        if (pid > 0) {
            std::string_view rest = *input;
            while (!rest.empty()) {
                const ssize_t written = ::send(inputPipe[1], rest.data(), rest.size(), MSG_NOSIGNAL);
                if (written <= 0) break;
                rest.remove_prefix(static_cast<std::size_t>(written));
            }
        }
        ::close(inputPipe[1]);
    }
    return pid;
}

void stopProcess(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(3);
    while (Clock::now() < deadline) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

bool exited(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == pid;
}

int waitForProcess(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    int status = 0;
    while (Clock::now() < deadline) {
        if (::waitpid(pid, &status, WNOHANG) == pid) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

std::string readLog(const std::filesystem::path& path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace tavlo::testing
