#include "platform/linux/audio/PulseSoundPlayer.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>

#include "platform/linux/audio/PulseConnection.h"

namespace tavlo {
namespace {

constexpr std::chrono::milliseconds connectTimeout{1000};
constexpr std::chrono::milliseconds streamTimeout{1000};
// How long the end of the program waits for sounds still playing.
constexpr std::chrono::milliseconds finishTimeout{2000};

bool hasEnded(pa_stream_state_t state) { return state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED; }

}  // namespace

// One playing sound. Its callbacks run on the server connection's event thread.
struct PulseSoundPlayer::Stream {
    PulseSoundPlayer* player;
    pa_threaded_mainloop* mainloop;
    pa_stream* stream = nullptr;
    bool ended = false;

    static void stateChanged(pa_stream* stream, void* userdata) {
        auto* self = static_cast<Stream*>(userdata);
        if (!self->ended && hasEnded(pa_stream_get_state(stream))) {
            self->ended = true;
            self->player->streamEnded();
        }
        pa_threaded_mainloop_signal(self->mainloop, 0);
    }
    static void drained(pa_stream* stream, int, void*) { pa_stream_disconnect(stream); }
};

PulseSoundPlayer::PulseSoundPlayer(std::string clientName)
    : clientName_(std::move(clientName)), worker_([this] { run(); }) {}

PulseSoundPlayer::~PulseSoundPlayer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
    if (!connection_) return;
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, finishTimeout, [this] { return playing_ == 0; });
    }
    PulseConnection::Lock lock(*connection_);
    for (auto& stream : streams_) {
        pa_stream_set_state_callback(stream->stream, nullptr, nullptr);
        if (!stream->ended) pa_stream_disconnect(stream->stream);
        pa_stream_unref(stream->stream);
    }
    streams_.clear();
}

void PulseSoundPlayer::play(std::vector<std::int16_t> samples, int sampleRate, double volume) {
    if (samples.empty() || sampleRate <= 0) return;
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({std::move(samples), sampleRate, std::clamp(volume, 0.0, 1.0)});
    }
    changed_.notify_all();
}

bool PulseSoundPlayer::waitUntilIdle(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return queue_.empty() && !busy_ && playing_ == 0; });
}

void PulseSoundPlayer::run() {
    // Connected before any sound is asked for, so the start tone follows the
    // trigger at once instead of after the handshake with the server.
    connected();
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        Sound sound = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        start(sound);
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

bool PulseSoundPlayer::connected() {
    if (connection_ && connection_->isReady()) return true;
    if (connection_) {
        // The server went away: its streams have ended with it.
        {
            PulseConnection::Lock lock(*connection_);
            releaseEndedStreamsLocked();
            for (auto& stream : streams_) {
                pa_stream_set_state_callback(stream->stream, nullptr, nullptr);
                pa_stream_unref(stream->stream);
                if (!stream->ended) streamEnded();
            }
            streams_.clear();
        }
        connection_.reset();
    }
    auto connection = std::make_unique<PulseConnection>(clientName_, connectTimeout);
    if (connection->error()) return false;
    connection_ = std::move(connection);
    return true;
}

void PulseSoundPlayer::start(const Sound& sound) {
    if (!connected()) return;
    std::vector<std::int16_t> samples(sound.samples.size());
    std::transform(sound.samples.begin(), sound.samples.end(), samples.begin(), [&](std::int16_t sample) {
        return static_cast<std::int16_t>(std::lround(sample * sound.volume));
    });
    const std::size_t bytes = samples.size() * sizeof(std::int16_t);

    PulseConnection::Lock lock(*connection_);
    releaseEndedStreamsLocked();
    const pa_sample_spec sampleFormat{PA_SAMPLE_S16LE, static_cast<std::uint32_t>(sound.sampleRate), 1};
    pa_stream* stream = pa_stream_new(connection_->context(), "Feedback tone", &sampleFormat, nullptr);
    if (!stream) return;
    auto entry = std::make_unique<Stream>(Stream{this, connection_->mainloop(), stream});
    Stream* self = entry.get();
    streams_.push_back(std::move(entry));
    {
        std::lock_guard guard(mutex_);
        ++playing_;
    }
    pa_stream_set_state_callback(stream, Stream::stateChanged, self);
    // The whole sound fits in the server's buffer, and playing starts once it is there.
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(bytes);
    attributes.prebuf = static_cast<std::uint32_t>(-1);
    attributes.minreq = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(-1);
    if (pa_stream_connect_playback(stream, nullptr, &attributes, PA_STREAM_NOFLAGS, nullptr, nullptr) < 0) {
        self->ended = true;
        streamEnded();
        return;
    }
    const bool ready = connection_->waitLocked(
        [&] { return pa_stream_get_state(stream) == PA_STREAM_READY || self->ended; }, streamTimeout);
    if (!ready || self->ended) {
        if (!self->ended) pa_stream_disconnect(stream);
        return;
    }
    if (pa_stream_write(stream, samples.data(), bytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
        pa_stream_disconnect(stream);
        return;
    }
    // Once drained, the stream disconnects itself; its end is counted by the
    // state callback.
    if (pa_operation* drain = pa_stream_drain(stream, Stream::drained, nullptr))
        pa_operation_unref(drain);
    else
        pa_stream_disconnect(stream);
}

void PulseSoundPlayer::streamEnded() {
    {
        std::lock_guard lock(mutex_);
        --playing_;
    }
    changed_.notify_all();
}

void PulseSoundPlayer::releaseEndedStreamsLocked() {
    std::erase_if(streams_, [](const std::unique_ptr<Stream>& stream) {
        if (!stream->ended) return false;
        pa_stream_set_state_callback(stream->stream, nullptr, nullptr);
        pa_stream_unref(stream->stream);
        return true;
    });
}

}  // namespace tavlo
