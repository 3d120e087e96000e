// Whether a real child process gets anywhere, read from /proc: running,
// stopped with SIGSTOP (as a hung whisper-server can be), and gone.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/linux/process/ProcessInfo.h"

namespace tavlo {
namespace {

using namespace std::chrono_literals;

// Waits a little for the state the kernel reports to catch up with a signal.
template <typename Predicate>
bool eventually(Predicate done) {
    for (int i = 0; i < 200; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

TEST(ProcessActivity, RunningStoppedAndGone) {
    const pid_t child = ::fork();
    if (child == 0) {
        // Busy, so it uses processor time while it runs.
        for (volatile unsigned long i = 0;; i = i + 1) {
        }
    }
    ASSERT_GT(child, 0);
    ASSERT_TRUE(eventually([&] {
        const auto activity = processActivity(child);
        return activity && !activity->stopped && activity->cpuTicks > 0;
    })) << "a busy child uses processor time";

    ASSERT_EQ(::kill(child, SIGSTOP), 0);
    ASSERT_TRUE(eventually([&] {
        const auto activity = processActivity(child);
        return activity && activity->stopped;
    }));
    const auto stopped = processActivity(child);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(processActivity(child)->cpuTicks, stopped->cpuTicks) << "a stopped child uses no time";

    ASSERT_EQ(::kill(child, SIGKILL), 0);
    ASSERT_TRUE(eventually([&] { return !processActivity(child).has_value(); })) << "a dead child reads as gone";
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_FALSE(processActivity(child).has_value());
    EXPECT_FALSE(processActivity(-1).has_value());
}

}  // namespace
}  // namespace tavlo
