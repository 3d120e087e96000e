#pragma once
// What /proc tells about a process of the user's session: whether it still
// runs, when it started (to tell a reused process id apart) and its program
// name. Each read is small and bounded; a process that is gone reads as absent.
#include <optional>
#include <string>

#include "platform/ProcessActivity.h"

namespace tavlo {

// The start time in clock ticks since boot; absent when the process is gone.
std::optional<unsigned long long> processStartTime(int processIdentifier);
// The file name of the running executable (absent for other users' processes).
std::optional<std::string> processExecutableName(int processIdentifier);
// Whether it is stopped and the processor time it used; absent when gone.
std::optional<ProcessActivity> processActivity(int processIdentifier);
// The kernel's short name of the process (at most 15 bytes).
std::optional<std::string> processCommandName(int processIdentifier);

}  // namespace tavlo
