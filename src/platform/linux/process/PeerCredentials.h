#pragma once
// Who is at the other end of a local (Unix domain) socket, as the kernel
// recorded it when the connection was made: the program's channel takes
// requests only from the user it runs as, and a command only talks to a
// program of its own user.
#include <optional>
#include <sys/types.h>

namespace tavlo {

// The user id of the peer of a connected local socket; absent when the
// kernel does not say.
std::optional<uid_t> peerUserId(int socket);
// Whether the peer runs as this process's own user.
bool peerIsThisUser(int socket);

}  // namespace tavlo
