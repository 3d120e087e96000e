#pragma once
// The microphone through the PulseAudio server (or PipeWire's server for
// PulseAudio clients). Linux asks no permission for the microphone: access is
// granted, and a server that cannot be reached shows as no input at start.
#include "platform/AudioCapture.h"

namespace tavlo {

class PulseAudioCapture final : public AudioCapture {
public:
    void requestMicrophoneAccess(std::function<void(bool granted)> completion) override;
    std::unique_ptr<AudioInput> makeInput() override;
    // Device ids are the server's source indexes; unique ids are source names.
    std::optional<std::vector<AudioDeviceInfo>> inputDevices() override;
};

}  // namespace tavlo
