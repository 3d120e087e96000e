#include "platform/linux/audio/PulseAudioCapture.h"

#include "platform/linux/audio/PulseAudioInput.h"
#include "platform/linux/audio/PulseSources.h"

namespace tavlo {

void PulseAudioCapture::requestMicrophoneAccess(std::function<void(bool granted)> completion) {
    if (completion) completion(true);
}

std::unique_ptr<AudioInput> PulseAudioCapture::makeInput() { return std::make_unique<PulseAudioInput>(); }

std::optional<std::vector<AudioDeviceInfo>> PulseAudioCapture::inputDevices() {
    PulseConnection connection(pulseClientName);
    const std::optional<std::vector<PulseSource>> sources = listCaptureSources(connection);
    if (!sources) return std::nullopt;
    std::vector<AudioDeviceInfo> devices;
    devices.reserve(sources->size());
    for (const PulseSource& source : *sources) {
        AudioDeviceInfo device;
        device.deviceID = source.index;
        device.uniqueID = source.name;
        device.name = source.description.empty() ? source.name : source.description;
        devices.push_back(std::move(device));
    }
    return devices;
}

}  // namespace tavlo
