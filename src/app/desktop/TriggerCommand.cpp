#include "app/desktop/TriggerCommand.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>

#include "app/core/TriggerRequest.h"
#include "platform/linux/files/FileDescriptor.h"
#include "platform/linux/instance/InstanceChannel.h"
#include "platform/linux/process/PeerCredentials.h"

namespace tavlo {
namespace {

// A running program answers at once; a program that hangs must not hang the
// compositor's key binding with it.
constexpr auto answerTimeout = std::chrono::milliseconds(2000);
constexpr std::size_t longestReply = 64;

constexpr const char* notRunning = "tavlo: Tavlo is not running; start it first\n";

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

int runTriggerCommand(const std::vector<std::string>& args, std::ostream& err) {
    const auto action = args.size() == 2 ? triggerActionNamed(args[1]) : std::nullopt;
    if (!action) {
        err << "usage: tavlo trigger " << triggerCommandWords()
            << "\n  acts in the running Tavlo as its trigger or a rewrite shortcut would\n";
        return 2;
    }
    const std::string path = InstanceChannel::socketPath().string();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        err << notRunning;
        return 1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const Descriptor channel(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (channel.get() < 0 ||
        ::connect(channel.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        err << notRunning;
        return 1;
    }
    // The socket lies in the user's private folder; still, a request goes
    // only to a program of this user.
    if (!peerIsThisUser(channel.get())) {
        err << "tavlo: the program on Tavlo's channel runs as another user; nothing was sent\n";
        return 1;
    }
    const std::string request = triggerRequestLine(*action);
    if (::send(channel.get(), request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
        err << notRunning;
        return 1;
    }
    const std::string reply = readReply(channel.get());
    if (reply == triggerAcceptedReply) return 0;
    if (reply.empty())
        err << "tavlo: Tavlo did not take the request (a version without trigger commands, or busy)\n";
    else
        err << "tavlo: Tavlo refused the request\n";
    return 1;
}

}  // namespace tavlo
