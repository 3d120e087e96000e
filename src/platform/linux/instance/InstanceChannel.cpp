#include "platform/linux/instance/InstanceChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>
#include <utility>

#include "platform/PlatformError.h"
#include "platform/linux/files/SystemTemporaryFiles.h"
#include "platform/linux/process/PeerCredentials.h"

namespace tavlo {
namespace {

using namespace std::chrono_literals;

constexpr const char* lockName = "instance.lock";
constexpr const char* socketName = "instance";
// The holder of the lock listens a moment after taking it; a second start
// keeps trying to reach it for this long.
constexpr auto reachLimit = 5s;
constexpr auto reachPause = 10ms;
// How long a request waits for the running program to take it: it reads
// requests once its launch is done.
constexpr int answerWaitMs = 2000;

std::optional<sockaddr_un> addressOf(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string& text = path.native();
    if (text.size() >= sizeof address.sun_path) return std::nullopt;
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return address;
}

std::string quoted(const std::filesystem::path& path) { return "\"" + path.string() + "\""; }

}  // namespace

InstanceChannel InstanceChannel::refused(std::string reason) {
    InstanceChannel channel(Role::refused);
    channel.refusal_ = std::move(reason);
    return channel;
}

InstanceChannel InstanceChannel::claim() {
    std::filesystem::path folder;
    try {
        folder = SystemTemporaryFiles::privateFolder();
    } catch (const PlatformError& error) {
        return refused(error.what());
    }
    return claim(folder);
}

std::filesystem::path InstanceChannel::socketPath() {
    try {
        return SystemTemporaryFiles::privateFolder() / socketName;
    } catch (const PlatformError&) {
        return {};
    }
}

InstanceChannel InstanceChannel::claim(const std::filesystem::path& folder) {
    const std::filesystem::path socketPath = folder / socketName;
    const auto address = addressOf(socketPath);
    if (!address) return refused("The path " + quoted(socketPath) + " is too long for a socket.");
    const std::filesystem::path lockPath = folder / lockName;
    Descriptor lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (lock.get() < 0) return refused("Could not open " + quoted(lockPath) + ": " + std::strerror(errno) + ".");
    struct stat info {};
    if (::fstat(lock.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
        return refused(quoted(lockPath) + " is not a file of this user's. Remove it and try again.");

    const auto deadline = std::chrono::steady_clock::now() + reachLimit;
    for (;;) {
        if (::flock(lock.get(), LOCK_EX | LOCK_NB) == 0) return listenAt(std::move(lock), socketPath);
        if (errno != EWOULDBLOCK && errno != EINTR)
            return refused("Could not lock " + quoted(lockPath) + ": " + std::strerror(errno) + ".");
        // Another process holds the lock: reach it. Not waiting for a full
        // queue of connections: a stuck program must not hold this one.
        Descriptor connection(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (connection.get() < 0) return refused(std::string("Could not make a socket: ") + std::strerror(errno) + ".");
        if (::connect(connection.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) == 0) {
            if (!peerIsThisUser(connection.get()))
                return refused("The socket " + quoted(socketPath) +
                               " is answered by a process of another user; nothing was sent to it.");
            InstanceChannel channel(Role::other);
            channel.socketPath_ = socketPath;
            channel.connection_ = std::move(connection);
            return channel;
        }
        // Not listening yet (it took the lock a moment ago), or the socket
        // is one a killed program left behind: try again until the holder
        // listens or the lock comes free.
        if (std::chrono::steady_clock::now() > deadline)
            return refused("Another Tavlo holds " + quoted(lockPath) + " but does not answer on " +
                           quoted(socketPath) + ".");
        std::this_thread::sleep_for(reachPause);
    }
}

InstanceChannel InstanceChannel::listenAt(Descriptor lock, const std::filesystem::path& socketPath) {
    // Only the lock's holder gets here, so a socket in its place was left by
    // a program that ended without removing it.
    ::unlink(socketPath.c_str());
    Descriptor listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const auto address = addressOf(socketPath);
    if (listener.get() < 0 ||
        ::bind(listener.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
        ::listen(listener.get(), 16) != 0)
        return refused("Could not listen on " + quoted(socketPath) + ": " + std::strerror(errno) + ".");
    InstanceChannel channel(Role::running);
    channel.socketPath_ = socketPath;
    channel.lock_ = std::move(lock);
    channel.listener_ = std::move(listener);
    return channel;
}

InstanceChannel::~InstanceChannel() {
    if (role_ == Role::running && listener_.get() >= 0) ::unlink(socketPath_.c_str());
}

Descriptor InstanceChannel::accept() {
    for (;;) {
        Descriptor connection(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (connection.get() < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return connection;
        }
        if (peerIsThisUser(connection.get())) return connection;
    }
}

bool InstanceChannel::send(std::string_view request) {
    if (connection_.get() < 0) return false;
    const std::string line = std::string(request) + "\n";
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t count = ::send(connection_.get(), line.data() + written, line.size() - written, MSG_NOSIGNAL);
        if (count >= 0) {
            written += static_cast<std::size_t>(count);
            continue;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return false;
        pollfd entry{connection_.get(), POLLOUT, 0};
        if (::poll(&entry, 1, answerWaitMs) <= 0) return false;
    }
    // The running program closes the connection once it has read the line;
    // a program still launching reads it later, from the socket's queue.
    pollfd entry{connection_.get(), POLLIN, 0};
    while (::poll(&entry, 1, answerWaitMs) < 0 && errno == EINTR) {
    }
    connection_.close();
    return true;
}

}  // namespace tavlo
