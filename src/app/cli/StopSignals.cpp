#include "app/cli/StopSignals.h"

#include <QSocketNotifier>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavlo::cli {
namespace {

// The handler may only do async-signal-safe work: it writes the signal's
// number to a socket the event loop watches.
int signalSocket = -1;

void forward(int number) {
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t ignored = ::write(signalSocket, &byte, 1);
}

}  // namespace

struct StopSignals::State {
    int sockets[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier;
    struct sigaction previousInterrupt {};
    struct sigaction previousTerminate {};
    bool installed = false;
};

StopSignals::StopSignals(std::function<void(int signal)> stopped) : state_(std::make_unique<State>()) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, state_->sockets) != 0) return;
    signalSocket = state_->sockets[1];
    state_->notifier = std::make_unique<QSocketNotifier>(state_->sockets[0], QSocketNotifier::Read);
    QObject::connect(state_->notifier.get(), &QSocketNotifier::activated, state_->notifier.get(),
                     [reader = state_->sockets[0], stopped = std::move(stopped)] {
                         unsigned char byte = 0;
                         if (::read(reader, &byte, 1) == 1 && stopped) stopped(byte);
                     });
    struct sigaction action {};
    action.sa_handler = forward;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    state_->installed = ::sigaction(SIGINT, &action, &state_->previousInterrupt) == 0 &&
                        ::sigaction(SIGTERM, &action, &state_->previousTerminate) == 0;
}

StopSignals::~StopSignals() {
    if (state_->installed) {
        ::sigaction(SIGINT, &state_->previousInterrupt, nullptr);
        ::sigaction(SIGTERM, &state_->previousTerminate, nullptr);
    }
    state_->notifier.reset();
    signalSocket = -1;
    for (const int socket : state_->sockets)
        if (socket >= 0) ::close(socket);
}

}  // namespace tavlo::cli
