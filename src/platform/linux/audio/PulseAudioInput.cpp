#include "platform/linux/audio/PulseAudioInput.h"

#include <utility>

namespace tavlo {
namespace {

// Small fragments keep the first buffer and every later one close to the
// moment it was spoken.
constexpr pa_usec_t fragmentDuration = 10 * PA_USEC_PER_MSEC;

}  // namespace

PulseAudioInput::~PulseAudioInput() {
    stop();
    removeTap();
    connection_.reset();
}

PulseConnection* PulseAudioInput::connection() {
    if (!connection_) connection_ = std::make_unique<PulseConnection>(pulseClientName);
    return connection_->error() ? nullptr : connection_.get();
}

bool PulseAudioInput::setCurrentDevice(std::uint32_t deviceID) {
    PulseConnection* server = connection();
    if (!server) return false;
    const std::optional<PulseSource> source = findSource(*server, deviceID);
    if (!source || source->isMonitor) return false;
    selectedSourceName_ = source->name;
    source_.reset();
    return true;
}

std::optional<PulseSource> PulseAudioInput::resolveSource() {
    PulseConnection* server = connection();
    if (!server) return std::nullopt;
    std::optional<PulseSource> source = findSource(*server, selectedSourceName_);
    // With no microphone the server makes an output's monitor the default
    // source; recording what the speakers play is not dictation.
    if (!source || (selectedSourceName_.empty() && source->isMonitor)) return std::nullopt;
    return source;
}

AudioFormat PulseAudioInput::inputFormat() {
    if (!source_) source_ = resolveSource();
    if (!source_) return {};
    return {source_->sampleRate, source_->channelCount};
}

void PulseAudioInput::installTap(std::size_t bufferFrames, TapBlock block) {
    TapBlock previous;
    {
        std::lock_guard lock(tapMutex_);
        previous = std::exchange(tap_, std::move(block));
        tapFrames_ = bufferFrames;
        chunker_.reset();
    }
}

void PulseAudioInput::installLossHandler(LossHandler handler) {
    LossHandler previous;
    std::lock_guard lock(tapMutex_);
    previous = std::exchange(lossHandler_, std::move(handler));
}

void PulseAudioInput::removeTap() {
    TapBlock previous;
    LossHandler previousHandler;
    {
        std::lock_guard lock(tapMutex_);
        previous = std::exchange(tap_, nullptr);
        previousHandler = std::exchange(lossHandler_, nullptr);
        chunker_.reset();
    }
    // Released here, outside the lock, on the calling thread.
}

void PulseAudioInput::prepare() { connection(); }

void PulseAudioInput::start() {
    if (running_) return;
    PulseConnection* server = connection();
    if (!server) throw *connection_->error();
    if (!source_) source_ = resolveSource();
    if (!source_ || source_->channelCount == 0)
        throw PlatformError("pulse", PA_ERR_NOENTITY, "No microphone input is available.");

    PulseConnection::Lock lock(*server);
    const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32NE, static_cast<std::uint32_t>(source_->sampleRate),
                              static_cast<std::uint8_t>(source_->channelCount)};
    const pa_channel_map* map = pa_channel_map_compatible(&source_->channelMap, &sampleFormat) ? &source_->channelMap : nullptr;
    streamFormat_ = {source_->sampleRate, source_->channelCount};
    streamWasReady_ = false;
    stream_ = pa_stream_new(server->context(), "Dictation", &sampleFormat, map);
    if (!stream_) throw server->lastErrorLocked("Cannot create the recording stream.");
    pa_stream_set_state_callback(stream_, onStreamState, this);
    pa_stream_set_read_callback(stream_, onStreamRead, this);

    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(fragmentDuration, &sampleFormat));
    // A vanished device ends the recording instead of silently switching to another one.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    if (pa_stream_connect_record(stream_, source_->name.c_str(), &attributes, flags) < 0) {
        const PlatformError error = server->lastErrorLocked("Cannot start recording.");
        disconnectStreamLocked();
        throw error;
    }
    const bool ready = server->waitLocked([this] {
        const pa_stream_state_t state = pa_stream_get_state(stream_);
        return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
    });
    if (!ready || pa_stream_get_state(stream_) != PA_STREAM_READY) {
        const PlatformError error = ready ? server->lastErrorLocked("Cannot start recording.")
                                          : PlatformError("pulse", PA_ERR_TIMEOUT,
                                                          "The sound server did not start recording in time.");
        disconnectStreamLocked();
        throw error;
    }
    running_ = true;
}

void PulseAudioInput::stop() {
    if (!running_) return;
    running_ = false;
    {
        PulseConnection::Lock lock(*connection_);
        disconnectStreamLocked();
    }
    // The next start cuts buffers afresh.
    std::lock_guard lock(tapMutex_);
    chunker_.reset();
}

void PulseAudioInput::disconnectStreamLocked() {
    if (!stream_) return;
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
}

void PulseAudioInput::onStreamState(pa_stream*, void* userdata) {
    auto* input = static_cast<PulseAudioInput*>(userdata);
    input->streamStateChanged();
    input->connection_->signal();
}

void PulseAudioInput::streamStateChanged() {
    // On the event thread, with the connection's lock held. Our own
    // disconnect clears this callback first, so a stream that fails after it
    // was ready was ended by the server: its source went away or the server
    // is gone. A failure while starting is start()'s to report.
    const pa_stream_state_t state = pa_stream_get_state(stream_);
    if (state == PA_STREAM_READY) {
        streamWasReady_ = true;
        return;
    }
    if (PA_STREAM_IS_GOOD(state) || !streamWasReady_) return;
    streamWasReady_ = false;  // once per start
    std::lock_guard lock(tapMutex_);
    if (lossHandler_) lossHandler_();
}

void PulseAudioInput::onStreamRead(pa_stream*, std::size_t, void* userdata) {
    static_cast<PulseAudioInput*>(userdata)->readAvailable();
}

void PulseAudioInput::readAvailable() {
    // On the event thread, with the connection's lock held.
    const std::size_t frameSize = pa_frame_size(pa_stream_get_sample_spec(stream_));
    std::lock_guard lock(tapMutex_);
    while (pa_stream_readable_size(stream_) > 0) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream_, &data, &bytes) < 0 || bytes == 0) return;
        if (tap_) {
            if (!chunker_) chunker_ = std::make_unique<AudioChunker>(streamFormat_, tapFrames_);
            if (data)
                chunker_->add(static_cast<const float*>(data), bytes / frameSize, tap_);
            else
                chunker_->addSilence(bytes / frameSize, tap_);  // a hole in the stream
        }
        pa_stream_drop(stream_);
    }
}

}  // namespace tavlo
