#pragma once
// Plays the program's short sounds through the sound server (PulseAudio or
// PipeWire's PulseAudio service). The caller only queues the samples; a
// worker thread connects as it starts (and again if the server went away),
// opens one playback stream per sound and writes it, so sounds may overlap
// and the main thread never waits for the server. Without a server, sounds are
// dropped silently; one is never started for us.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/SoundPlayer.h"

namespace tavlo {

class PulseConnection;

class PulseSoundPlayer final : public SoundPlayer {
public:
    explicit PulseSoundPlayer(std::string clientName = "Tavlo");
    // Lets the sounds that are playing finish (for a bounded time).
    ~PulseSoundPlayer() override;
    PulseSoundPlayer(const PulseSoundPlayer&) = delete;
    PulseSoundPlayer& operator=(const PulseSoundPlayer&) = delete;

    void play(std::vector<std::int16_t> samples, int sampleRate, double volume) override;

    // Waits until every sound queued so far has been played to its end or
    // dropped; false when `limit` passed first.
    bool waitUntilIdle(std::chrono::milliseconds limit);

private:
    struct Sound {
        std::vector<std::int16_t> samples;
        int sampleRate;
        double volume;
    };
    struct Stream;

    void run();
    void start(const Sound& sound);
    bool connected();
    void streamEnded();
    // With the server's lock held: lets go of the streams that have ended.
    void releaseEndedStreamsLocked();

    std::string clientName_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Sound> queue_;
    bool busy_ = false;
    bool stopping_ = false;
    int playing_ = 0;
    // Touched by the worker thread only (and by the destructor after it ended).
    std::unique_ptr<PulseConnection> connection_;
    std::vector<std::unique_ptr<Stream>> streams_;
    std::thread worker_;
};

}  // namespace tavlo
