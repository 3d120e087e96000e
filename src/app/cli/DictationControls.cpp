#include "app/cli/DictationControls.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <utility>

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

namespace tavlo::cli {
namespace {

// The write end of the pipe the interrupt handler signals through; a signal
// handler may only do async-signal-safe work such as write(2).
volatile sig_atomic_t interruptPipe = -1;

extern "C" void noteInterrupt(int) {
    const int saved = errno;
    const int fd = interruptPipe;
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = saved;
}

}  // namespace

struct DictationControls::State {
    std::function<void()> finish;
    std::function<void()> cancel;
    std::unique_ptr<QSocketNotifier> input;
    std::unique_ptr<QSocketNotifier> interrupt;
    std::array<int, 2> pipe{-1, -1};
    QObject context;  // ends the deferred calls with the controls
    struct sigaction previous{};
    bool handlerInstalled = false;

    void finishOnce() {
        if (input) input->setEnabled(false);
        if (auto handler = std::exchange(finish, nullptr)) handler();
    }
    void cancelOnce() {
        if (auto handler = std::exchange(cancel, nullptr)) handler();
    }
    void readInput() {
        std::array<char, 256> buffer{};
        const ssize_t count = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (count < 0 && (errno == EINTR || errno == EAGAIN)) return;
        if (count <= 0) {
            finishOnce();  // the end of input, or input that cannot be read
            return;
        }
        for (ssize_t i = 0; i < count; ++i)
            if (buffer[static_cast<std::size_t>(i)] == '\n') {
                finishOnce();
                return;
            }
    }
    void readInterrupt() {
        std::array<char, 16> drain{};
        while (::read(pipe[0], drain.data(), drain.size()) > 0) {
        }
        cancelOnce();
    }
};

DictationControls::DictationControls(std::function<void()> finish, std::function<void()> cancel)
    : state_(std::make_unique<State>()) {
    state_->finish = std::move(finish);
    state_->cancel = std::move(cancel);
    State* state = state_.get();

    if (::fcntl(STDIN_FILENO, F_GETFD) < 0) {
        // No standard input at all counts as its end; reported from the loop.
        QTimer::singleShot(0, &state->context, [state] { state->finishOnce(); });
    } else {
        state->input = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(state->input.get(), &QSocketNotifier::activated, [state] { state->readInput(); });
    }

    if (::pipe2(state->pipe.data(), O_CLOEXEC | O_NONBLOCK) == 0) {
        interruptPipe = state->pipe[1];
        struct sigaction action{};
        action.sa_handler = noteInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        state->handlerInstalled = ::sigaction(SIGINT, &action, &state->previous) == 0;
        state->interrupt = std::make_unique<QSocketNotifier>(state->pipe[0], QSocketNotifier::Read);
        QObject::connect(state->interrupt.get(), &QSocketNotifier::activated, [state] { state->readInterrupt(); });
    }
}

DictationControls::~DictationControls() {
    if (state_->handlerInstalled) ::sigaction(SIGINT, &state_->previous, nullptr);
    interruptPipe = -1;
    state_->interrupt.reset();
    state_->input.reset();
    for (int fd : state_->pipe)
        if (fd >= 0) ::close(fd);
}

}  // namespace tavlo::cli
