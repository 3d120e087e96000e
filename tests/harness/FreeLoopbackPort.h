#pragma once
// A loopback port that nothing listens on at the moment of the call: the
// kernel picks it for a socket that is closed again at once.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavlo::testing {

inline int freeLoopbackPort() {
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(sock);
    return ntohs(address.sin_port);
}

}  // namespace tavlo::testing
