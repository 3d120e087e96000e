#pragma once
// Whether each 10 ms frame of a live 16 kHz stream is speech, judged as it
// arrives: WebRTC's voice activity detector in its strictest mode, after the
// rumble filter, and a frame must stand clearly above the stream's recent
// noise floor (the quietest tenth of the last few seconds), so steady noise
// that the detector takes for a voice is still not speech. Cheap enough for
// every microphone buffer.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/linux/audio/RumbleFilter.h"

namespace webrtc {
class AudioProcessing;
struct AudioFrame;
}  // namespace webrtc

namespace tavlo {

class LiveVoiceActivity {
public:
    static constexpr int sampleRate = 16000;
    static constexpr std::size_t frameLength = 160;  // 10 ms

    LiveVoiceActivity();
    ~LiveVoiceActivity();
    LiveVoiceActivity(const LiveVoiceActivity&) = delete;
    LiveVoiceActivity& operator=(const LiveVoiceActivity&) = delete;

    // The verdict on the next `frameLength` samples of the stream. Without a
    // working detector every frame counts as speech, so nothing is lost.
    bool isSpeech(const std::int16_t* frame);

private:
    double noiseFloorDbfs() const;
    void rememberLevel(double levelDbfs);

    std::unique_ptr<webrtc::AudioProcessing> processing_;
    std::unique_ptr<webrtc::AudioFrame> frame_;
    RumbleFilter rumble_{sampleRate};
    std::array<std::int16_t, frameLength> filtered_{};
    // Frame levels of the last seconds, in whole decibels below full scale,
    // as a ring of recent levels and a count of each level among them.
    std::vector<std::uint8_t> recentLevels_;
    std::size_t nextLevel_ = 0;
    std::array<std::uint16_t, 128> levelCounts_{};
};

}  // namespace tavlo
