#pragma once
// Starting and stopping the helper programs tests need (a session bus, a sound
// server): found on the PATH, started with a chosen environment and their
// output in a log, killed with the test process, stopped by their ids.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace tavlo::testing {

// The full path of an installed program, or empty.
std::string findProgram(const std::string& name);

// This process's environment with some variables replaced and some removed.
std::vector<std::string> childEnvironment(const std::vector<std::pair<std::string, std::string>>& replaced,
                                          const std::vector<std::string>& removed);

// Starts a program with its output in a log file and, when given, its standard
// input from a pipe that receives `input` and is then closed. The program is
// killed if this process dies first, so a crashed test leaves nothing running.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
            const std::filesystem::path& log, const std::string* input);

// Asks politely, then insists; always reaps the process.
void stopProcess(pid_t pid);

// Whether the process has ended (and reaps it if so).
bool exited(pid_t pid);

// Waits for the process to end, up to `limit`; returns its wait status, or -1
// when it was still running and has been killed.
int waitForProcess(pid_t pid, std::chrono::milliseconds limit);

std::string readLog(const std::filesystem::path& path);

}  // namespace tavlo::testing
