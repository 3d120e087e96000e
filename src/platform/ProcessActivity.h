#pragma once
// Whether a process is getting anywhere: a child that was stopped (SIGSTOP)
// or uses no processor time while a request waits on it makes no progress,
// and waiting on it longer helps nobody.
namespace tavlo {

struct ProcessActivity {
    bool stopped = false;             // stopped by a signal or a debugger
    unsigned long long cpuTicks = 0;  // processor time used so far, user and system
};

}  // namespace tavlo
