#pragma once
// Runs a program the way a shell script would (arguments, standard input,
// extra environment) and collects its exit status and output. No shell is
// involved, so arguments reach the program byte for byte.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace tavlo::testing {

struct ProgramResult {
    int status = -1;  // exit status, or -1 when killed by a signal
    std::string out;
    std::string err;
};

// With `standardOutput` the program writes there (such as /dev/full) instead
// of into `out`.
inline ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args,
                                const std::string& input = "",
                                const std::map<std::string, std::string>& environment = {},
                                const std::filesystem::path& standardOutput = {}) {
    char pattern[] = "/tmp/tavlo-run-XXXXXX";
    const std::filesystem::path dir = ::mkdtemp(pattern);
    { std::ofstream(dir / "in", std::ios::binary) << input; }

    // Everything the child needs is made before the fork: a test process has
    // threads (servers, the sanitizers' own), and one of them may hold the
    // allocator's lock at that moment, so the child must not allocate.
    const std::string inPath = (dir / "in").string(), outPath = (dir / "out").string(),
                      errPath = (dir / "err").string(),
                      stdoutPath = standardOutput.empty() ? outPath : standardOutput.string();
    const int stdoutFlags = standardOutput.empty() ? O_WRONLY | O_CREAT | O_TRUNC : O_WRONLY;
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        const std::string variable = *entry;
        if (!environment.count(variable.substr(0, variable.find('=')))) variables.push_back(variable);
    }
    for (const auto& [name, value] : environment) variables.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        auto redirect = [](const char* path, int flags, int fd) {
            const int file = ::open(path, flags, 0600);
            if (file < 0 || ::dup2(file, fd) < 0) ::_exit(127);
            ::close(file);
        };
        redirect(inPath.c_str(), O_RDONLY, 0);
        redirect(stdoutPath.c_str(), stdoutFlags, 1);
        redirect(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 2);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ProgramResult result;
    int raw = 0;
    if (pid > 0 && ::waitpid(pid, &raw, 0) == pid && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
    auto slurp = [](const std::filesystem::path& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    result.out = slurp(dir / "out");
    result.err = slurp(dir / "err");
    std::filesystem::remove_all(dir);
    return result;
}

// The tavlo executable under test.
inline ProgramResult runTavlo(const std::vector<std::string>& args, const std::string& input = "",
                              const std::map<std::string, std::string>& environment = {},
                              const std::filesystem::path& standardOutput = {}) {
    return runProgram(TAVLO_BINARY, args, input, environment, standardOutput);
}

}  // namespace tavlo::testing
