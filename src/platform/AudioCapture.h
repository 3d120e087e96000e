#pragma once
// Microphone capture. One AudioInput is made per dictation session and carries
// one tap: a block that receives every captured buffer on the capture thread.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/AudioBuffer.h"

namespace tavlo {

// One capture device as the system lists it.
struct AudioDeviceInfo {
    std::uint32_t deviceID = 0;            // handle for AudioInput::setCurrentDevice
    std::optional<std::string> uniqueID;   // stable id kept in the settings; absent when unreadable
    std::string name;                      // label shown to the user
};

// The capture graph of one session. All members are called on the main thread.
class AudioInput {
public:
    using TapBlock = std::function<void(const AudioBuffer&)>;
    using LossHandler = std::function<void()>;

    virtual ~AudioInput() = default;

    // Records from this device instead of the system default; false when the
    // device cannot be selected.
    virtual bool setCurrentDevice(std::uint32_t deviceID) = 0;

    // The format buffers will arrive in; a channel count of 0 means there is
    // no input to record from.
    virtual AudioFormat inputFormat() = 0;

    // Installs the block that receives buffers of about `bufferFrames` frames
    // on the capture thread, replacing any earlier one.
    virtual void installTap(std::size_t bufferFrames, TapBlock block) = 0;

    // Installs the block told, on the capture thread and at most once per
    // start, that capture ended by itself while running: the device went away
    // or the sound server stopped. No buffers follow; isRunning() stays true
    // until stop(). The block should only pass the news on.
    virtual void installLossHandler(LossHandler handler) = 0;

    // Once this returns neither the tap nor the loss handler is running or
    // will be called again, and both have been released.
    virtual void removeTap() = 0;

    virtual void prepare() = 0;
    // Throws PlatformError when capture cannot start.
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

class AudioCapture {
public:
    virtual ~AudioCapture() = default;

    // Asks the user for access to the microphone; `completion` may run on any
    // thread.
    virtual void requestMicrophoneAccess(std::function<void(bool granted)> completion) = 0;

    // A new capture graph recording from the system's default input.
    virtual std::unique_ptr<AudioInput> makeInput() = 0;

    // All capture devices in the system's order; absent when the list cannot
    // be read.
    virtual std::optional<std::vector<AudioDeviceInfo>> inputDevices() = 0;
};

}  // namespace tavlo
