#include "platform/linux/process/PosixProcessLauncher.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>

extern char** environ;

namespace tavlo {
namespace {

class PosixChildProcess final : public ChildProcess {
public:
    explicit PosixChildProcess(pid_t pid)
        : pid_(pid),
          pidfd_(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))),
          wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~PosixChildProcess() override {
        if (pidfd_ >= 0) ::close(pidfd_);
        if (wake_ >= 0) ::close(wake_);
    }

    bool isRunning() const override { return running_.load(); }
    int processIdentifier() const override { return pid_; }

    // The waiter reaps only under the same lock, after it saw the child end
    // without reaping it, so the id still belongs to our (possibly dead) child.
    void terminate() override {
        std::lock_guard lock(mutex_);
        if (reaped_ || terminationAsked_) return;
        terminationAsked_ = true;
        killAt_ = std::chrono::steady_clock::now() +
                  std::chrono::milliseconds(ProcessLauncher::kTerminationGraceMilliseconds);
        ::kill(pid_, SIGTERM);
        // The waiter starts counting down to SIGKILL.
        if (wake_ >= 0) {
            const std::uint64_t one = 1;
            (void)!::write(wake_, &one, sizeof one);
        }
    }

    ProcessTermination reap() {
        waitForEnd();
        siginfo_t info{};
        while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
        }
        int status = 0;
        {
            std::lock_guard lock(mutex_);
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            reaped_ = true;
        }
        ProcessTermination termination;
        if (WIFSIGNALED(status)) {
            termination.reason = ProcessTermination::Reason::signalled;
            termination.status = WTERMSIG(status);
        } else {
            termination.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        running_.store(false);
        return termination;
    }

    // For the waiter: readable when a termination was asked for.
    int wakeDescriptor() const { return wake_; }
    void clearWake() {
        std::uint64_t count = 0;
        (void)!::read(wake_, &count, sizeof count);
    }

    // For the waiter's poll: kills the child once the grace after a
    // termination request has passed, and says how long to wait until then
    // (-1: no limit).
    int killWhenDue() {
        std::lock_guard lock(mutex_);
        if (!terminationAsked_ || killed_ || reaped_) return -1;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(killAt_ - std::chrono::steady_clock::now());
        if (left.count() > 0) return static_cast<int>(left.count());
        ::kill(pid_, SIGKILL);
        killed_ = true;
        return -1;
    }

private:
    // Waits until the child has ended, killing it when due. Without a
    // process descriptor (an old kernel) the reap below simply waits.
    void waitForEnd() {
        if (pidfd_ < 0 || wake_ < 0) return;
        for (;;) {
            const int timeout = killWhenDue();
            pollfd entries[2] = {{pidfd_, POLLIN, 0}, {wake_, POLLIN, 0}};
            if (::poll(entries, 2, timeout) < 0 && errno != EINTR) return;
            if (entries[0].revents != 0) return;
            if (entries[1].revents != 0) clearWake();
        }
    }

    const pid_t pid_;
    const int pidfd_;
    const int wake_;
    std::mutex mutex_;
    bool reaped_ = false;            // guarded by mutex_
    bool terminationAsked_ = false;  // guarded by mutex_
    bool killed_ = false;            // guarded by mutex_
    std::chrono::steady_clock::time_point killAt_;  // guarded by mutex_
    std::atomic<bool> running_{true};
};

// Reads both pipes to their ends at the same time, so a child that fills one
// while we wait on the other never blocks; a child asked to end that keeps
// its pipes open past the grace is killed meanwhile.
void drainPipes(PosixChildProcess& child, int outFd, int errFd, std::string& out, std::string& err) {
    pollfd entries[3] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}, {child.wakeDescriptor(), POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    char chunk[65536];
    while (entries[0].fd >= 0 || entries[1].fd >= 0) {
        if (::poll(entries, 3, child.killWhenDue()) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (entries[2].revents != 0) child.clearWake();
        for (int i = 0; i < 2; ++i) {
            if (entries[i].fd < 0 || entries[i].revents == 0) continue;
            const ssize_t got = ::read(entries[i].fd, chunk, sizeof chunk);
            if (got > 0) {
                sinks[i]->append(chunk, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                entries[i].fd = -1;  // poll skips negative descriptors
            }
        }
    }
}

// Descriptors opened for one launch; whatever is still open is closed at the end.
class Descriptors {
public:
    ~Descriptors() {
        for (int fd : open_) ::close(fd);
    }
    int add(int fd) {
        if (fd >= 0) open_.push_back(fd);
        return fd;
    }
    // The caller keeps this one (a pipe's reading end).
    int release(int fd) {
        std::erase(open_, fd);
        return fd;
    }

private:
    std::vector<int> open_;
};

ProcessLaunch failure(const std::string& what, int error) {
    return {nullptr, what + ": " + std::strerror(error), error};
}

// The program's own environment with the overrides in place.
std::vector<std::string> childEnvironment(const std::map<std::string, std::string>& overrides) {
    std::vector<std::string> entries;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string text(*entry);
        const auto equals = text.find('=');
        if (overrides.count(text.substr(0, equals)) == 0) entries.push_back(text);
    }
    for (const auto& [name, value] : overrides) entries.push_back(name + "=" + value);
    return entries;
}

// posix_spawn has no step that ties a child's life to ours, so such children
// are started with fork and exec. Between the two only async-signal-safe
// calls run, on data prepared beforehand, as a child forked from a threaded
// program requires. The parent-death signal is SIGKILL: a helper whose
// program is gone (killed, crashed) must not keep the port or the model.
int forkTiedToProgram(pid_t& pid, const char* path, char* const argv[], char* const envp[],
                      const std::array<int, 3>& fds, const sigset_t& mask, const sigset_t& defaults) {
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return errno;
    const pid_t parent = ::getpid();
    pid = ::fork();
    if (pid < 0) {
        const int error = errno;
        ::close(report[0]);
        ::close(report[1]);
        return error;
    }
    if (pid == 0) {
        auto fail = [&](int error) {
            (void)!::write(report[1], &error, sizeof error);
            ::_exit(127);
        };
        // A parent that died before the request leaves us adopted already.
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) fail(errno);
        if (::getppid() != parent) fail(ESRCH);
        for (int target = 0; target < 3; ++target)
            if (::dup2(fds[static_cast<std::size_t>(target)], target) < 0) fail(errno);
        ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        for (int signal = 1; signal < NSIG; ++signal)
            if (sigismember(&defaults, signal) == 1) ::sigaction(signal, &standard, nullptr);
        ::sigprocmask(SIG_SETMASK, &mask, nullptr);
        ::execve(path, argv, envp);
        fail(errno);
    }
    ::close(report[1]);
    int childError = 0;
    ssize_t got = 0;
    while ((got = ::read(report[0], &childError, sizeof childError)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (got != static_cast<ssize_t>(sizeof childError)) return 0;  // exec closed the pipe: started
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return childError;
}

struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
};

}  // namespace

PosixProcessLauncher::~PosixProcessLauncher() {
    std::vector<Watch> watches;
    {
        std::lock_guard lock(mutex_);
        watches.swap(watches_);
    }
    for (auto& watch : watches)
        if (watch.process->isRunning()) watch.process->terminate();
    for (auto& watch : watches) watch.waiter.join();
}

void PosixProcessLauncher::joinEndedWaiters() {
    std::vector<Watch> ended;
    {
        std::lock_guard lock(mutex_);
        for (auto it = watches_.begin(); it != watches_.end();) {
            // A handler that launches again must not join its own thread.
            if (!it->process->isRunning() && it->waiter.get_id() != std::this_thread::get_id()) {
                ended.push_back(std::move(*it));
                it = watches_.erase(it);
            } else {
                ++it;
            }
        }
    }
    // A waiter marks its child ended just before running the handler, so this
    // may wait for a handler that is still finishing.
    for (auto& watch : ended) watch.waiter.join();
}

ProcessLaunch PosixProcessLauncher::launch(const ProcessSpec& launchSpec, TerminationHandler onTermination) {
    joinEndedWaiters();
    if (launchSpec.executable.empty() || launchSpec.executable.front() != '/')
        return {nullptr, "The program path \"" + launchSpec.executable + "\" is not absolute."};

    Descriptors descriptors;
    SpawnSetup setup;
    const int nullInput = descriptors.add(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (nullInput < 0) return failure("Could not open /dev/null", errno);
    posix_spawn_file_actions_adddup2(&setup.actions, nullInput, 0);

    int outRead = -1;
    int errRead = -1;
    std::map<std::string, int> files;  // one descriptor per file, so both streams share its offset
    std::array<int, 3> childFds{nullInput, -1, -1};
    auto connect = [&](const ProcessOutput& output, int target, int& readEnd) -> std::optional<ProcessLaunch> {
        int fd = -1;
        switch (output.kind) {
            case ProcessOutput::Kind::discard:
                fd = descriptors.add(::open("/dev/null", O_WRONLY | O_CLOEXEC));
                if (fd < 0) return failure("Could not open /dev/null", errno);
                break;
            case ProcessOutput::Kind::pipe: {
                int ends[2];
                if (::pipe2(ends, O_CLOEXEC) != 0) return failure("Could not create a pipe", errno);
                readEnd = descriptors.add(ends[0]);
                fd = descriptors.add(ends[1]);
                break;
            }
            case ProcessOutput::Kind::file:
                if (auto it = files.find(output.path); it != files.end()) {
                    fd = it->second;
                } else {
                    // A fresh file: whatever had the name goes, and a name
                    // that reappears meanwhile (a planted link) fails the launch.
                    ::unlink(output.path.c_str());
                    fd = descriptors.add(
                        ::open(output.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
                    if (fd < 0) return failure("Could not open \"" + output.path + "\"", errno);
                    files.emplace(output.path, fd);
                }
                break;
        }
        posix_spawn_file_actions_adddup2(&setup.actions, fd, target);
        childFds[static_cast<std::size_t>(target)] = fd;
        return std::nullopt;
    };
    if (auto failed = connect(launchSpec.standardOutput, 1, outRead)) return *failed;
    if (auto failed = connect(launchSpec.standardError, 2, errRead)) return *failed;
    // Nothing else of ours reaches the child, even descriptors opened without close-on-exec.
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);

    // The child starts with no blocked signals and default handling of the
    // usual ones, whatever this program set up for itself.
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD, SIGUSR1, SIGUSR2, SIGALRM})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv{const_cast<char*>(launchSpec.executable.c_str())};
    for (const auto& argument : launchSpec.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> environment = childEnvironment(launchSpec.environmentOverrides);
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    pid_t pid = -1;
    if (launchSpec.endsWithProgram) {
        if (const int error = forkTiedToProgram(pid, launchSpec.executable.c_str(), argv.data(), envp.data(),
                                                childFds, none, defaults);
            error != 0)
            return failure("Could not start \"" + launchSpec.executable + "\"", error);
    } else if (const int error = ::posix_spawn(&pid, launchSpec.executable.c_str(), &setup.actions,
                                               &setup.attributes, argv.data(), envp.data());
               error != 0) {
        return failure("Could not start \"" + launchSpec.executable + "\"", error);
    }

    // The write ends and files now belong to the child; only the read ends stay open here.
    if (outRead >= 0) descriptors.release(outRead);
    if (errRead >= 0) descriptors.release(errRead);
    auto child = std::make_shared<PosixChildProcess>(pid);
    std::thread waiter([child, outRead, errRead, handler = std::move(onTermination)] {
        std::string out;
        std::string err;
        drainPipes(*child, outRead, errRead, out, err);
        if (outRead >= 0) ::close(outRead);
        if (errRead >= 0) ::close(errRead);
        ProcessTermination termination = child->reap();
        termination.standardOutput = std::move(out);
        termination.standardError = std::move(err);
        if (handler) handler(termination);
    });
    {
        std::lock_guard lock(mutex_);
        watches_.push_back({child, std::move(waiter)});
    }
    return {child, {}};
}

}  // namespace tavlo
