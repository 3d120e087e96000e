// The real child-process adapter against real programs: arguments and
// environment reach the child unchanged, both pipes are drained, exit status
// and signals are told apart, and no waiting thread outlives the launcher.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/linux/process/PosixProcessLauncher.h"

namespace tavlo {
namespace {

using namespace std::chrono_literals;

// Collects the one termination a child reports; the wait only guards against a hang.
struct Ending {
    std::promise<ProcessTermination> promise;
    std::future<ProcessTermination> future = promise.get_future();
    std::thread::id thread;

    ProcessLauncher::TerminationHandler handler() {
        return [this](const ProcessTermination& termination) {
            thread = std::this_thread::get_id();
            promise.set_value(termination);
        };
    }
    ProcessTermination get() {
        if (future.wait_for(60s) != std::future_status::ready) ADD_FAILURE() << "the child never ended";
        return future.get();
    }
};

ProcessSpec piped(std::string executable, std::vector<std::string> arguments) {
    ProcessSpec launchSpec;
    launchSpec.executable = std::move(executable);
    launchSpec.arguments = std::move(arguments);
    launchSpec.standardOutput = ProcessOutput::toPipe();
    launchSpec.standardError = ProcessOutput::toPipe();
    return launchSpec;
}

TEST(PosixProcessLauncher, ArgumentsReachTheChildByteForByte) {
    const std::vector<std::string> awkward{"with space", "it's \"quoted\"", "Grüße ✓ 日本", "$HOME", "a;b|c&&d",
                                           "*",          "",               "back\\slash",  "line\nbreak"};
    std::vector<std::string> arguments{"[%s]\\n"};
    arguments.insert(arguments.end(), awkward.begin(), awkward.end());

    PosixProcessLauncher launcher;
    Ending ending;
    ASSERT_TRUE(launcher.launch(piped("/usr/bin/printf", arguments), ending.handler()));
    const auto termination = ending.get();

    std::string expected;
    for (const auto& argument : awkward) expected += "[" + argument + "]\n";
    EXPECT_TRUE(termination.succeeded());
    EXPECT_EQ(termination.standardOutput, expected);
}

TEST(PosixProcessLauncher, EnvironmentOverridesReplaceOnlyTheGivenVariables) {
    auto launchSpec = piped("/usr/bin/env", {});
    launchSpec.environmentOverrides = {{"PATH", "/custom/bin:/usr/bin"}, {"TAVLO_TEST_VALUE", "ä b=c"}};
    PosixProcessLauncher launcher;
    Ending ending;
    ASSERT_TRUE(launcher.launch(launchSpec, ending.handler()));
    const std::string out = ending.get().standardOutput;

    EXPECT_NE(out.find("\nPATH=/custom/bin:/usr/bin\n"), std::string::npos) << out;
    EXPECT_NE(out.find("TAVLO_TEST_VALUE=ä b=c\n"), std::string::npos);
    if (const char* home = std::getenv("HOME")) {
        EXPECT_NE(out.find(std::string("HOME=") + home + "\n"), std::string::npos);
    }
}

TEST(PosixProcessLauncher, BothPipesAreDrainedSeparately) {
    // Large enough on both streams that a reader of only one pipe would block the child.
    const auto launchSpec = piped("/bin/sh", {"-c", "head -c 600000 /dev/zero | tr '\\0' e >&2; "
                                              "head -c 900000 /dev/zero | tr '\\0' o; exit 3"});
    PosixProcessLauncher launcher;
    Ending ending;
    ASSERT_TRUE(launcher.launch(launchSpec, ending.handler()));
    const auto termination = ending.get();

    EXPECT_EQ(termination.reason, ProcessTermination::Reason::exited);
    EXPECT_EQ(termination.status, 3);
    EXPECT_FALSE(termination.succeeded());
    EXPECT_EQ(termination.standardOutput, std::string(900000, 'o'));
    EXPECT_EQ(termination.standardError, std::string(600000, 'e'));
}

// The log is a new file for each child: an old one is replaced, and a planted
// symbolic link is never followed.
TEST(PosixProcessLauncher, BothStreamsGoToOneNewFile) {
    const auto log = std::filesystem::temp_directory_path() / ("tavlo-launcher-log-" + std::to_string(::getpid()));
    std::ofstream(log) << "earlier\n";
    ProcessSpec launchSpec;
    launchSpec.executable = "/bin/sh";
    launchSpec.arguments = {"-c", "echo out1; echo err1 >&2; echo out2"};
    launchSpec.standardOutput = ProcessOutput::toFile(log.string());
    launchSpec.standardError = ProcessOutput::toFile(log.string());

    PosixProcessLauncher launcher;
    Ending ending;
    ASSERT_TRUE(launcher.launch(launchSpec, ending.handler()));
    const auto termination = ending.get();
    std::ifstream file(log);
    const std::string written((std::istreambuf_iterator<char>(file)), {});
    std::filesystem::remove(log);

    EXPECT_TRUE(termination.standardOutput.empty());
    EXPECT_EQ(written, "out1\nerr1\nout2\n");

    const auto target = log.string() + "-target";
    std::ofstream(target) << "precious\n";
    std::filesystem::create_symlink(target, log);
    Ending second;
    ASSERT_TRUE(launcher.launch(launchSpec, second.handler()));
    second.get();
    std::ifstream kept(target);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(kept)), {}), "precious\n");
    EXPECT_FALSE(std::filesystem::is_symlink(log));
    std::filesystem::remove(log);
    std::filesystem::remove(target);
}

// A child that ignores SIGTERM gets exactly one, then SIGKILL after the grace.
TEST(PosixProcessLauncher, TerminateSendsOneSigtermThenKills) {
    const auto marks = std::filesystem::temp_directory_path() / ("tavlo-sigterms-" + std::to_string(::getpid()));
    std::filesystem::remove(marks);
    PosixProcessLauncher launcher;
    Ending ending;
    const auto launch = launcher.launch(
        piped("/bin/sh", {"-c", "trap 'echo term >> \"$0\"' TERM; echo ready; while :; do sleep 0.05; done",
                          marks.string()}),
        ending.handler());
    ASSERT_TRUE(launch);
    std::this_thread::sleep_for(300ms);  // the trap is in place
    const auto asked = std::chrono::steady_clock::now();
    launch.process->terminate();
    launch.process->terminate();
    const auto termination = ending.get();
    EXPECT_EQ(termination.reason, ProcessTermination::Reason::signalled);
    EXPECT_EQ(termination.status, SIGKILL);
    EXPECT_GE(std::chrono::steady_clock::now() - asked,
              std::chrono::milliseconds(ProcessLauncher::kTerminationGraceMilliseconds - 100));
    std::ifstream file(marks);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(file)), {}), "term\n");
    std::filesystem::remove(marks);
}

// A child tied to the program goes when the program is killed outright; the
// program here is a forked copy of the test that launches `sleep`.
TEST(PosixProcessLauncher, AChildTiedToTheProgramDiesWithIt) {
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t program = ::fork();
    ASSERT_GE(program, 0);
    if (program == 0) {
        ::close(report[0]);
        PosixProcessLauncher launcher;
        ProcessSpec launchSpec;
        launchSpec.executable = "/bin/sleep";
        launchSpec.arguments = {"60"};
        launchSpec.endsWithProgram = true;
        const auto launch = launcher.launch(launchSpec, nullptr);
        const int pid = launch ? launch.process->processIdentifier() : -1;
        (void)!::write(report[1], &pid, sizeof pid);
        ::pause();
        ::_exit(0);
    }
    ::close(report[1]);
    int child = -1;
    ASSERT_EQ(::read(report[0], &child, sizeof child), static_cast<ssize_t>(sizeof child));
    ::close(report[0]);
    ASSERT_GT(child, 0);
    ASSERT_EQ(::kill(child, 0), 0);
    ::kill(program, SIGKILL);
    ::waitpid(program, nullptr, 0);
    // The orphan is reparented to init (or a subreaper), which reaps it.
    bool gone = false;
    for (int i = 0; i < 500 && !gone; ++i) {
        std::ifstream stat("/proc/" + std::to_string(child) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        gone = text.empty() || text.find(") Z ") != std::string::npos;
        if (!gone) std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(gone) << "the child outlived the program";
    if (!gone) ::kill(child, SIGKILL);
}

TEST(PosixProcessLauncher, TerminateEndsTheChildWithSigterm) {
    PosixProcessLauncher launcher;
    Ending ending;
    const auto launch = launcher.launch(piped("/bin/sleep", {"30"}), ending.handler());
    ASSERT_TRUE(launch);
    EXPECT_TRUE(launch.process->isRunning());
    EXPECT_GT(launch.process->processIdentifier(), 0);

    launch.process->terminate();
    const auto termination = ending.get();
    EXPECT_EQ(termination.reason, ProcessTermination::Reason::signalled);
    EXPECT_EQ(termination.status, SIGTERM);
    EXPECT_FALSE(launch.process->isRunning());
    launch.process->terminate();  // harmless once it has ended
}

TEST(PosixProcessLauncher, ExitStatusAndSignalAreToldApart) {
    struct Case {
        const char* script;
        ProcessTermination::Reason reason;
        int status;
    };
    for (const Case& c : {Case{"exit 9", ProcessTermination::Reason::exited, 9},
                          Case{"kill -9 $$", ProcessTermination::Reason::signalled, 9},
                          Case{"exit 0", ProcessTermination::Reason::exited, 0}}) {
        PosixProcessLauncher launcher;
        Ending ending;
        ASSERT_TRUE(launcher.launch(piped("/bin/sh", {"-c", c.script}), ending.handler()));
        const auto termination = ending.get();
        EXPECT_EQ(termination.reason, c.reason) << c.script;
        EXPECT_EQ(termination.status, c.status) << c.script;
    }
}

TEST(PosixProcessLauncher, StandardInputIsEmpty) {
    PosixProcessLauncher launcher;
    Ending ending;
    ASSERT_TRUE(launcher.launch(piped("/bin/cat", {}), ending.handler()));
    const auto termination = ending.get();
    EXPECT_TRUE(termination.succeeded());
    EXPECT_EQ(termination.standardOutput, "");
}

TEST(PosixProcessLauncher, LaunchFailuresAreReportedAndNeverReachTheHandler) {
    PosixProcessLauncher launcher;
    bool called = false;
    for (const char* executable : {"/nonexistent folder/whisper-cli", "printf", ""}) {
        const auto launch = launcher.launch(piped(executable, {}), [&](const ProcessTermination&) { called = true; });
        EXPECT_FALSE(launch) << executable;
        EXPECT_FALSE(launch.error.empty()) << executable;
    }
    EXPECT_FALSE(called);
}

TEST(PosixProcessLauncher, HandlerRunsOnABackgroundThread) {
    PosixProcessLauncher launcher;
    Ending ending;
    ASSERT_TRUE(launcher.launch(piped("/bin/true", {}), ending.handler()));
    ending.get();
    EXPECT_NE(ending.thread, std::this_thread::get_id());
}

TEST(PosixProcessLauncher, DestroyingTheLauncherEndsChildrenStillRunning) {
    Ending ending;
    std::shared_ptr<ChildProcess> child;
    {
        PosixProcessLauncher launcher;
        const auto launch = launcher.launch(piped("/bin/sleep", {"30"}), ending.handler());
        ASSERT_TRUE(launch);
        child = launch.process;
    }
    ASSERT_EQ(ending.future.wait_for(0s), std::future_status::ready);
    EXPECT_EQ(ending.get().status, SIGTERM);
    EXPECT_FALSE(child->isRunning());
}

TEST(PosixProcessLauncher, AHandlerMayLaunchAgain) {
    PosixProcessLauncher launcher;
    Ending second;
    std::promise<void> firstDone;
    ASSERT_TRUE(launcher.launch(piped("/bin/true", {}), [&](const ProcessTermination&) {
        EXPECT_TRUE(launcher.launch(piped("/bin/true", {}), second.handler()));
        firstDone.set_value();
    }));
    firstDone.get_future().wait();
    EXPECT_TRUE(second.get().succeeded());
    // A third launch joins the first two waiters, one of them from its own handler's era.
    Ending third;
    ASSERT_TRUE(launcher.launch(piped("/bin/true", {}), third.handler()));
    EXPECT_TRUE(third.get().succeeded());
}

}  // namespace
}  // namespace tavlo
