#pragma once
// What /proc tells about a process of the user's session: whether it still
// runs, when it started (to tell a reused process id apart) and its program
// name. Each read is small and bounded; a process that is gone reads as absent.
#include <optional>
#include <string>

namespace tavlo {

// The start time in clock ticks since boot; absent when the process is gone.
std::optional<unsigned long long> processStartTime(int processIdentifier);
// The file name of the running executable (absent for other users' processes).
std::optional<std::string> processExecutableName(int processIdentifier);
// The kernel's short name of the process (at most 15 bytes).
std::optional<std::string> processCommandName(int processIdentifier);

}  // namespace tavlo
