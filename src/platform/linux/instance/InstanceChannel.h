#pragma once
// The channel between the desktop program and other processes of the same
// user (a second start that wants Home opened): a lock file and a socket in
// the user's private work folder. Whoever takes the lock is the program: it
// holds the lock for its whole life and listens on the socket. The lock is
// taken first and atomically, so two starts at the same moment end with
// exactly one program; the socket is only ever replaced by the lock's holder.
// Both ends check that the process at the other end is this user's.
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/linux/files/FileDescriptor.h"

namespace tavlo {

class InstanceChannel {
public:
    enum class Role {
        running,  // this process holds the lock and listens
        other,    // another process holds it and has been reached
        refused,  // the folder or the process answering is not to be trusted
    };

    // In the user's private work folder, checked as the work files are.
    static InstanceChannel claim();
    // In a chosen folder, which the caller has checked (for tests).
    static InstanceChannel claim(const std::filesystem::path& folder);
    // Where the running program listens, for clients that only send it a
    // request (never claim): in the user's private work folder, or empty
    // when that folder cannot be used.
    static std::filesystem::path socketPath();

    // The running one removes its socket before it lets go of the lock.
    ~InstanceChannel();
    InstanceChannel(InstanceChannel&& other) noexcept = default;
    InstanceChannel& operator=(InstanceChannel&&) = delete;

    Role role() const { return role_; }
    // Why the channel was refused, in a sentence for the user.
    const std::string& refusal() const { return refusal_; }

    // For the running one: the listening socket (non-blocking), to watch.
    int listeningDescriptor() const { return listener_.get(); }
    // For the running one: the next waiting connection of a process of this
    // user's (non-blocking), or an empty descriptor when none waits. Others'
    // connections are closed unanswered.
    Descriptor accept();

    // For the other: sends one request line ("home") to the running one and
    // waits a moment for it to be taken. False when it could not be sent.
    bool send(std::string_view request);

private:
    explicit InstanceChannel(Role role) : role_(role) {}
    static InstanceChannel refused(std::string reason);
    static InstanceChannel listenAt(Descriptor lock, const std::filesystem::path& socketPath);

    Role role_;
    std::string refusal_;
    std::filesystem::path socketPath_;
    Descriptor lock_{-1};
    Descriptor listener_{-1};
    Descriptor connection_{-1};
};

}  // namespace tavlo
