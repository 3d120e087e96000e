#include "platform/linux/wayland/DataControlClipboard.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <wayland-client.h>

#include <array>
#include <cerrno>

#include "data-control-client-protocol.h"

namespace tavlo::wayland {
namespace {

// What we offer, the usual names of plain UTF-8 text first; and what we
// read, in order of preference.
constexpr std::array<const char*, 5> textTypes = {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "STRING",
                                                  "TEXT"};

int remainingMilliseconds(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// A reader that closes its end early would end this program with SIGPIPE:
// the signal is held back while writing, and one that came is discarded.
class SigpipeHeld {
public:
    SigpipeHeld() {
        sigemptyset(&pipeOnly_);
        sigaddset(&pipeOnly_, SIGPIPE);
        sigpending(&before_);
        pthread_sigmask(SIG_BLOCK, &pipeOnly_, &previous_);
    }
    ~SigpipeHeld() {
        if (!sigismember(&before_, SIGPIPE)) {
            const timespec none{0, 0};
            while (sigtimedwait(&pipeOnly_, nullptr, &none) > 0) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    SigpipeHeld(const SigpipeHeld&) = delete;
    SigpipeHeld& operator=(const SigpipeHeld&) = delete;

private:
    sigset_t pipeOnly_{};
    sigset_t before_{};
    sigset_t previous_{};
};

// Writes all of `text` to the reader's pipe, giving up when the reader does
// not take it in time: a stuck client must not hang this program.
void writeAll(int fd, std::string_view text) {
    const SigpipeHeld held;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    const auto deadline = std::chrono::steady_clock::now() + DataControlClipboard::transferTimeout;
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written > 0) {
            text.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno != EAGAIN) return;  // the reader went away (EPIPE)
        pollfd ready{fd, POLLOUT, 0};
        if (::poll(&ready, 1, remainingMilliseconds(deadline)) <= 0) return;
    }
}

std::optional<std::string> readAll(int fd) {
    const auto deadline = std::chrono::steady_clock::now() + DataControlClipboard::transferTimeout;
    std::string text;
    std::array<char, 4096> chunk{};
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, remainingMilliseconds(deadline));
        if (polled < 0 && errno == EINTR) continue;
        if (polled <= 0) return std::nullopt;
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) return text;
        text.append(chunk.data(), static_cast<std::size_t>(got));
        if (text.size() > DataControlClipboard::maxReadBytes) return std::nullopt;
    }
}

}  // namespace

std::shared_ptr<DataControlClipboard> DataControlClipboard::create(std::shared_ptr<WaylandConnection> connection) {
    if (!connection || !connection->dataControlManager() || !connection->seat()) return nullptr;
    std::shared_ptr<DataControlClipboard> clipboard(new DataControlClipboard(std::move(connection)));
    // The current selection arrives at once.
    if (!clipboard->connection_->roundtrip()) return nullptr;
    return clipboard;
}

DataControlClipboard::DataControlClipboard(std::shared_ptr<WaylandConnection> connection)
    : connection_(std::move(connection)) {
    static const zwlr_data_control_device_v1_listener listener = {&dataOffer, &selection, &finished,
                                                                   &primarySelection};
    device_ = zwlr_data_control_manager_v1_get_data_device(connection_->dataControlManager(), connection_->seat());
    zwlr_data_control_device_v1_add_listener(device_, &listener, this);
}

DataControlClipboard::~DataControlClipboard() {
    dropSource();
    forgetOffer(selection_);
    forgetOffer(primary_);
    for (auto& [offer, types] : offers_) zwlr_data_control_offer_v1_destroy(offer);
    if (device_) zwlr_data_control_device_v1_destroy(device_);
    connection_->flush();
}

void DataControlClipboard::clearContents() { select(nullptr, {}); }

void DataControlClipboard::setString(std::string_view text) {
    static const zwlr_data_control_source_v1_listener listener = {&send, &cancelled};
    auto* source = zwlr_data_control_manager_v1_create_data_source(connection_->dataControlManager());
    for (const char* type : textTypes) zwlr_data_control_source_v1_offer(source, type);
    zwlr_data_control_source_v1_add_listener(source, &listener, this);
    select(source, text);
}

void DataControlClipboard::select(zwlr_data_control_source_v1* source, std::string_view text) {
    ++changes_;
    if (!device_) {
        if (source) zwlr_data_control_source_v1_destroy(source);
        return;
    }
    zwlr_data_control_device_v1_set_selection(device_, source);
    // The old source is no longer the selection; it would be cancelled anyway.
    dropSource();
    source_ = source;
    owned_ = std::string(text);
    ++ownChangesPending_;
    // Our own change comes back as a selection event within the round trip;
    // whatever did not come back by then is not waited for any longer.
    connection_->roundtrip();
    ownChangesPending_ = 0;
}

void DataControlClipboard::dropSource() {
    if (source_) zwlr_data_control_source_v1_destroy(source_);
    source_ = nullptr;
    owned_.clear();
}

void DataControlClipboard::forgetOffer(zwlr_data_control_offer_v1*& offer) {
    if (offer) {
        offers_.erase(offer);
        zwlr_data_control_offer_v1_destroy(offer);
    }
    offer = nullptr;
}

std::optional<std::string> DataControlClipboard::string() const {
    // Our own text is answered from memory: asking the compositor would
    // make it ask us, and we would be waiting on ourselves.
    if (source_) return owned_;
    if (!selection_) return std::nullopt;
    const auto types = offers_.find(selection_);
    if (types == offers_.end()) return std::nullopt;
    const char* chosen = nullptr;
    for (const char* type : textTypes)
        for (const std::string& offered : types->second)
            if (!chosen && offered == type) chosen = type;
    if (!chosen) return std::nullopt;

    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) return std::nullopt;
    zwlr_data_control_offer_v1_receive(selection_, chosen, pipe[1]);
    connection_->flush();
    ::close(pipe[1]);
    auto text = readAll(pipe[0]);
    ::close(pipe[0]);
    return text;
}

void DataControlClipboard::dataOffer(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    static const zwlr_data_control_offer_v1_listener listener = {&offered};
    auto* self = static_cast<DataControlClipboard*>(data);
    self->offers_[offer];
    zwlr_data_control_offer_v1_add_listener(offer, &listener, self);
}

void DataControlClipboard::offered(void* data, zwlr_data_control_offer_v1* offer, const char* mimeType) {
    auto* self = static_cast<DataControlClipboard*>(data);
    self->offers_[offer].emplace_back(mimeType);
}

void DataControlClipboard::selection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    auto* self = static_cast<DataControlClipboard*>(data);
    if (self->selection_ != offer) {
        // The types stay known for the new selection; the old offer is done.
        self->forgetOffer(self->selection_);
        self->selection_ = offer;
    }
    if (self->ownChangesPending_ > 0) {
        --self->ownChangesPending_;
        return;
    }
    ++self->changes_;
    // Another client's text replaced ours.
    if (self->source_) self->dropSource();
}

void DataControlClipboard::primarySelection(void* data, zwlr_data_control_device_v1*,
                                            zwlr_data_control_offer_v1* offer) {
    // Only the clipboard is used; the primary selection's offers are let go.
    auto* self = static_cast<DataControlClipboard*>(data);
    if (self->primary_ == offer) return;
    self->forgetOffer(self->primary_);
    self->primary_ = offer;
}

void DataControlClipboard::finished(void* data, zwlr_data_control_device_v1*) {
    // The seat is gone: nothing more can be set or read through this device.
    auto* self = static_cast<DataControlClipboard*>(data);
    zwlr_data_control_device_v1_destroy(self->device_);
    self->device_ = nullptr;
}

void DataControlClipboard::send(void* data, zwlr_data_control_source_v1* source, const char*, int fd) {
    auto* self = static_cast<DataControlClipboard*>(data);
    if (source == self->source_) writeAll(fd, self->owned_);
    ::close(fd);
}

void DataControlClipboard::cancelled(void* data, zwlr_data_control_source_v1* source) {
    auto* self = static_cast<DataControlClipboard*>(data);
    if (source == self->source_) {
        self->dropSource();
        return;
    }
    zwlr_data_control_source_v1_destroy(source);
}

}  // namespace tavlo::wayland
