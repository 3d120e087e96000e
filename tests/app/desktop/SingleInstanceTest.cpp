// One program per user: starts of the real executable at the same moment,
// and the channel between them refused where another user could have put a
// socket of their own (a folder open to others, a link, another user's
// process answering).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/desktop/DesktopProgramFixture.h"
#include "harness/BackgroundProgram.h"
#include "harness/ChildProcesses.h"
#include "harness/RunProgram.h"

namespace tavlo::testing {
namespace {

namespace fs = std::filesystem;

// The environment of this process with `changes` applied, as "NAME=value".
std::vector<std::string> environmentWith(const std::map<std::string, std::string>& changes) {
    std::vector<std::pair<std::string, std::string>> replaced(changes.begin(), changes.end());
    return childEnvironment(replaced, {});
}

// Starts the program `count` times as nearly at once as processes can: each
// child waits at a gate (a pipe) that opens for all of them together. Each
// one's standard error goes to "err-N" in `folder`.
std::vector<pid_t> startTogether(int count, const std::vector<std::string>& environment, const fs::path& folder) {
    int gate[2];
    if (::pipe2(gate, O_CLOEXEC) != 0) return {};
    // Made before the fork: the child of a threaded process must not allocate.
    std::vector<char*> env;
    for (const auto& entry : environment) env.push_back(const_cast<char*>(entry.c_str()));
    env.push_back(nullptr);
    char* argv[] = {const_cast<char*>(TAVLO_BINARY), nullptr};
    std::vector<std::string> errPaths;
    for (int i = 0; i < count; ++i) errPaths.push_back((folder / ("err-" + std::to_string(i))).string());
    std::vector<pid_t> pids;
    for (int i = 0; i < count; ++i) {
        const char* errPath = errPaths[static_cast<std::size_t>(i)].c_str();
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(gate[1]);
            const int null = ::open("/dev/null", O_RDWR);
            const int err = ::open(errPath, O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (null < 0 || err < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(127);
            char byte;
            while (::read(gate[0], &byte, 1) < 0 && errno == EINTR) {
            }
            ::execve(argv[0], argv, env.data());
            ::_exit(127);
        }
        pids.push_back(pid);
    }
    ::close(gate[0]);
    ::close(gate[1]);  // opens the gate: every child's read ends now
    return pids;
}

// Stops the processes still running when the test ends, however it ends.
struct StopsAtEnd {
    std::vector<pid_t> pids;
    ~StopsAtEnd() {
        for (const pid_t pid : pids) stopProcess(pid);
    }
};

// A socket someone else bound and listens on, to see whether the program
// talks to it.
class StandInSocket {
public:
    explicit StandInSocket(const fs::path& path) : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        bound_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 ::listen(fd_, 8) == 0;
    }
    ~StandInSocket() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool bound() const { return bound_; }
    // Whether anyone connected.
    bool reached() {
        const int connection = ::accept(fd_, nullptr, nullptr);
        if (connection < 0) return false;
        ::close(connection);
        return true;
    }

private:
    int fd_;
    bool bound_ = false;
};

class SingleInstanceSerially : public DesktopProgramFixture {
protected:
    fs::path runtime() const { return home.path() / "runtime"; }
};

TEST_F(SingleInstanceSerially, StartsAtTheSameMomentLeaveOneProgram) {
    const auto pids = startTogether(2, environmentWith(userEnvironment()), home.path());
    ASSERT_EQ(pids.size(), 2u);
    StopsAtEnd running;
    // One of them finds the other and leaves; the other runs.
    std::map<pid_t, int> ended;
    waitFor(
        [&] {
            for (const pid_t pid : pids) {
                int raw = 0;
                if (!ended.count(pid) && ::waitpid(pid, &raw, WNOHANG) == pid) ended[pid] = raw;
            }
            running.pids.clear();
            for (const pid_t pid : pids)
                if (!ended.count(pid)) running.pids.push_back(pid);
            return !ended.empty();
        },
        60s);
    ASSERT_EQ(ended.size(), 1u) << "both still running, or both ended\n"
                                << readFile(home.path() / "err-0") << readFile(home.path() / "err-1") << diagnostics();
    const std::size_t leaver = pids[0] == ended.begin()->first ? 0 : 1;
    const pid_t runner = pids[1 - leaver];
    EXPECT_TRUE(WIFEXITED(ended.begin()->second) && WEXITSTATUS(ended.begin()->second) == 0);
    EXPECT_EQ(readFile(home.path() / ("err-" + std::to_string(leaver))),
              "tavlo: already running; its Home window was asked to open\n");
    ASSERT_TRUE(launched()) << diagnostics();
    EXPECT_FALSE(exited(runner));
    // The one left is the one that answers: a later start reaches it.
    ScopedEnvironment environment(userEnvironment());
    const auto again = runProgram("/usr/bin/timeout", {"60", TAVLO_BINARY});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.err, "tavlo: already running; its Home window was asked to open\n");
    EXPECT_FALSE(exited(runner));
}

TEST_F(SingleInstanceSerially, AFolderOthersCouldHavePutASocketInIsRefused) {
    // The program's folder in the runtime folder, open to others or a link
    // to elsewhere, holds a stand-in's socket under the program's name.
    const fs::path elsewhere = home.path() / "elsewhere";
    ASSERT_TRUE(fs::create_directories(elsewhere));
    fs::permissions(elsewhere, fs::perms::owner_all);
    struct Case {
        const char* name;
        std::function<void(const fs::path& folder)> make;
    };
    const std::vector<Case> cases = {
        {"open to others",
         [](const fs::path& folder) {
             fs::create_directories(folder);
             fs::permissions(folder, fs::perms::all);
         }},
        {"a link", [&](const fs::path& folder) { fs::create_directory_symlink(elsewhere, folder); }},
    };
    for (const auto& [name, make] : cases) {
        SCOPED_TRACE(name);
        const fs::path folder = runtime() / "tavlo";
        fs::remove_all(folder);
        make(folder);
        StandInSocket standIn(folder / "instance");
        ASSERT_TRUE(standIn.bound());
        ScopedEnvironment environment(userEnvironment());
        const auto result = runProgram("/usr/bin/timeout", {"30", TAVLO_BINARY});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "tavlo: The work folder \"" + folder.string() +
                                  "\" is not private to this user: it must be a folder (not a link) owned by this "
                                  "user that no one else can open. Remove it and try again.\n");
        EXPECT_FALSE(standIn.reached());
        fs::remove(folder / "instance");
    }
}

TEST_F(SingleInstanceSerially, ARuntimeFolderOthersCanWriteToIsNotUsed) {
    // Another user bound sockets under the program's names in a runtime
    // folder anyone can write to; the program never talks to them and uses
    // its private folder in the temporary directory instead.
    fs::permissions(runtime(), fs::perms::all);
    StandInSocket oldName(runtime() / "tavlo-instance");
    fs::create_directories(runtime() / "tavlo");
    fs::permissions(runtime() / "tavlo", fs::perms::owner_all);
    StandInSocket standIn(runtime() / "tavlo" / "instance");
    ASSERT_TRUE(oldName.bound() && standIn.bound());
    fs::create_directories(home.path() / "tmp");
    auto variables = userEnvironment();
    variables["TMPDIR"] = (home.path() / "tmp").string();
    ScopedEnvironment environment(variables);
    BackgroundProgram program(TAVLO_BINARY, {});
    ASSERT_TRUE(launched()) << diagnostics();
    EXPECT_FALSE(oldName.reached());
    EXPECT_FALSE(standIn.reached());
    EXPECT_TRUE(fs::exists(home.path() / "tmp" / ("tavlo-" + std::to_string(::geteuid())) / "instance"));
}

TEST_F(SingleInstanceSerially, AProgramOfAnotherUserAnsweringIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to play another user";
    // A stand-in holds the lock and listens on the socket, but as another
    // user (listening after it dropped to "nobody").
    const fs::path folder = runtime() / "tavlo";
    ASSERT_TRUE(fs::create_directories(folder));
    fs::permissions(folder, fs::perms::owner_all);
    const std::string lockPath = (folder / "instance.lock").string();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, (folder / "instance").c_str(), sizeof address.sun_path - 1);
    int ready[2];
    ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    const pid_t standIn = ::fork();
    if (standIn == 0) {
        const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
        const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (lock < 0 || ::flock(lock, LOCK_EX) != 0 || listener < 0 ||
            ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::setgid(65534) != 0 ||
            ::setuid(65534) != 0 || ::listen(listener, 8) != 0)
            ::_exit(1);
        const char byte = 1;
        if (::write(ready[1], &byte, 1) != 1) ::_exit(1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ScopedEnvironment environment(userEnvironment());
    const auto result = runProgram("/usr/bin/timeout", {"60", TAVLO_BINARY});
    stopProcess(standIn);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "tavlo: The socket \"" + (folder / "instance").string() +
                              "\" is answered by a process of another user; nothing was sent to it.\n");
}

}  // namespace
}  // namespace tavlo::testing
