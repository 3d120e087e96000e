#pragma once
// Who listens on a local TCP port, from the kernel's socket tables: a server
// found answering on the loopback interface is only trusted with the user's
// recordings when it runs as the same user.
#include <sys/types.h>

#include <filesystem>
#include <vector>

namespace tavlo {

// True when something listens on `port` at a loopback (or any) address and
// every such listener belongs to `uid`; false when one belongs to someone
// else, when none is found, or when the tables cannot be read.
bool loopbackListenersBelongTo(int port, uid_t uid,
                               const std::vector<std::filesystem::path>& tables = {"/proc/net/tcp",
                                                                                   "/proc/net/tcp6"});

}  // namespace tavlo
