#pragma once
// Starting and stopping the helper programs that tests need (a bus, a
// keyring, an X server...): found on PATH, run without a shell, killed with
// the test process if it dies first, and always reaped.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace tavlo::testing {

// The full path of a program on PATH (or in the system folders); empty when
// it is not installed.
std::string findProgram(const std::string& name);

// This process's environment with some variables replaced and some removed.
std::vector<std::string> childEnvironment(const std::vector<std::pair<std::string, std::string>>& replaced,
                                          const std::vector<std::string>& removed);

// Starts a program with both output streams in `log` and, when given, its
// standard input from a pipe that receives `input` and is then closed.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
            const std::filesystem::path& log, const std::string* input);

// Asks politely, then insists; always reaps the process.
void stopProcess(pid_t pid);

// Whether the process has ended (and reaps it when it has).
bool exited(pid_t pid);

}  // namespace tavlo::testing
