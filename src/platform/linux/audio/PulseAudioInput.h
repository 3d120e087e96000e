#pragma once
// One recording from a sound-server source, delivered to the tap on the
// connection's event thread. The stream never moves to another device: when
// its device goes away or the server dies, buffers stop, the loss handler
// hears of it, and stopping still works.
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/AudioCapture.h"
#include "platform/linux/audio/AudioChunker.h"
#include "platform/linux/audio/PulseConnection.h"
#include "platform/linux/audio/PulseSources.h"

namespace tavlo {

inline constexpr const char* pulseClientName = "Tavlo";

class PulseAudioInput final : public AudioInput {
public:
    PulseAudioInput() = default;
    ~PulseAudioInput() override;
    PulseAudioInput(const PulseAudioInput&) = delete;
    PulseAudioInput& operator=(const PulseAudioInput&) = delete;

    bool setCurrentDevice(std::uint32_t deviceID) override;
    AudioFormat inputFormat() override;
    void installTap(std::size_t bufferFrames, TapBlock block) override;
    void installLossHandler(LossHandler handler) override;
    void removeTap() override;
    void prepare() override;
    void start() override;
    void stop() override;
    bool isRunning() const override { return running_; }

private:
    PulseConnection* connection();
    std::optional<PulseSource> resolveSource();
    void disconnectStreamLocked();
    void readAvailable();
    void streamStateChanged();

    static void onStreamState(pa_stream* stream, void* userdata);
    static void onStreamRead(pa_stream* stream, std::size_t bytes, void* userdata);

    std::unique_ptr<PulseConnection> connection_;
    std::string selectedSourceName_;  // empty: the default source
    std::optional<PulseSource> source_;
    pa_stream* stream_ = nullptr;  // touched under the connection's lock
    AudioFormat streamFormat_;     // likewise
    bool streamWasReady_ = false;  // likewise: a failure after this is a loss
    bool running_ = false;

    // The tap runs on the event thread while holding this, so removing it
    // waits for a delivery in progress.
    std::mutex tapMutex_;
    TapBlock tap_;
    LossHandler lossHandler_;
    std::size_t tapFrames_ = 0;
    std::unique_ptr<AudioChunker> chunker_;
};

}  // namespace tavlo
