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

    const pid_t pid = ::fork();
    if (pid == 0) {
        auto redirect = [](const std::filesystem::path& path, int flags, int fd) {
            const int file = ::open(path.c_str(), flags, 0600);
            if (file < 0 || ::dup2(file, fd) < 0) ::_exit(127);
            ::close(file);
        };
        redirect(dir / "in", O_RDONLY, 0);
        if (standardOutput.empty())
            redirect(dir / "out", O_WRONLY | O_CREAT | O_TRUNC, 1);
        else
            redirect(standardOutput, O_WRONLY, 1);
        redirect(dir / "err", O_WRONLY | O_CREAT | O_TRUNC, 2);
        for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
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
