#include "platform/linux/process/PeerCredentials.h"

#include <sys/socket.h>
#include <unistd.h>

namespace tavlo {

std::optional<uid_t> peerUserId(int socket) {
    if (socket < 0) return std::nullopt;
    struct ucred credentials {};
    socklen_t size = sizeof credentials;
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 || size != sizeof credentials)
        return std::nullopt;
    return credentials.uid;
}

bool peerIsThisUser(int socket) { return peerUserId(socket) == ::getuid(); }

}  // namespace tavlo
