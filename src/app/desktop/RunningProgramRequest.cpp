#include "app/desktop/RunningProgramRequest.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/linux/files/FileDescriptor.h"
#include "platform/linux/instance/InstanceChannel.h"
#include "platform/linux/process/PeerCredentials.h"

namespace tavlo {
namespace {

// A running program answers at once; a program that hangs must not hang the
// compositor's key binding (or the launcher) with it.
constexpr auto answerTimeout = std::chrono::milliseconds(2000);
constexpr std::size_t longestReply = 64;

// The reply line, up to its line feed; empty when none came in time.
std::string readReply(int fd) {
    std::string reply;
    const auto deadline = std::chrono::steady_clock::now() + answerTimeout;
    while (reply.size() < longestReply && reply.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd entry{fd, POLLIN, 0};
        if (left.count() <= 0) break;
        const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char chunk[longestReply];
        const ssize_t got = ::read(fd, chunk, longestReply - reply.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        reply.append(chunk, static_cast<std::size_t>(got));
    }
    return reply;
}

}  // namespace

RunningProgramAnswer askRunningProgram(std::string_view requestLine) {
    using Kind = RunningProgramAnswer::Kind;
    const std::string path = InstanceChannel::socketPath().string();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return {Kind::notRunning, {}};
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const Descriptor channel(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (channel.get() < 0 ||
        ::connect(channel.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return {Kind::notRunning, {}};
    // The socket lies in the user's private folder; still, a request goes
    // only to a program of this user.
    if (!peerIsThisUser(channel.get())) return {Kind::otherUser, {}};
    if (::send(channel.get(), requestLine.data(), requestLine.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(requestLine.size()))
        return {Kind::notRunning, {}};
    return {Kind::answered, readReply(channel.get())};
}

}  // namespace tavlo
