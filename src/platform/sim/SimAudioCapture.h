#pragma once
// A scripted microphone. Each capture graph the program makes is kept as a
// SimAudioInputState, through which a test feeds buffers from any thread (as
// the capture thread would) and sees the tap, the device and the running state.
// Microphone permission requests wait until the test answers them.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/AudioCapture.h"
#include "platform/PlatformError.h"

namespace tavlo {

class SimAudioInputState {
public:
    // Hands a buffer to the tap, as the capture thread would; nothing happens
    // unless capture runs and a tap is installed. Returns whether the tap ran.
    bool deliver(const AudioBuffer& buffer);
    // A buffer of `frames` silent frames in the input format.
    bool deliverSilence(std::uint32_t frames = 2048);
    // The device goes away while capture runs: the loss handler is told, as
    // the capture thread would tell it, and no buffer is delivered any more.
    // Returns whether a handler heard it.
    bool loseDevice();

    bool isRunning() const;
    bool hasTap() const;
    std::size_t tapBufferFrames() const;
    std::optional<std::uint32_t> selectedDeviceID() const;
    bool released() const;  // the program let go of this capture graph
    AudioFormat format() const { return format_; }

private:
    friend class SimAudioInput;
    friend class SimAudioCapture;
    explicit SimAudioInputState(AudioFormat format) : format_(format) {}

    const AudioFormat format_;
    mutable std::mutex mutex_;
    AudioInput::TapBlock tap_;
    AudioInput::LossHandler lossHandler_;
    std::size_t tapBufferFrames_ = 0;
    bool running_ = false;
    bool lost_ = false;
    bool released_ = false;
    std::optional<std::uint32_t> selectedDeviceID_;
};

class SimAudioCapture final : public AudioCapture {
public:
    void requestMicrophoneAccess(std::function<void(bool granted)> completion) override;
    std::unique_ptr<AudioInput> makeInput() override;
    std::optional<std::vector<AudioDeviceInfo>> inputDevices() override;

    // Answers every waiting permission request.
    void answerMicrophoneAccess(bool granted);
    std::size_t pendingMicrophoneRequestCount() const;
    std::size_t microphoneRequestCount() const;

    // The format of the default input and of every device; 0 channels means
    // no microphone.
    void setInputFormat(AudioFormat format);
    // The device list; absent makes reading it fail.
    void setDevices(std::optional<std::vector<AudioDeviceInfo>> devices);
    void setDeviceSelectionFails(bool fails);
    // Makes starting capture fail with this error.
    void setStartError(std::optional<PlatformError> error);

    std::vector<std::shared_ptr<SimAudioInputState>> inputs() const;
    std::shared_ptr<SimAudioInputState> latestInput() const;

private:
    friend class SimAudioInput;
    mutable std::mutex mutex_;
    std::vector<std::function<void(bool)>> pending_;
    std::size_t microphoneRequests_ = 0;
    AudioFormat format_{48000.0, 1};
    std::optional<std::vector<AudioDeviceInfo>> devices_ = std::vector<AudioDeviceInfo>{};
    bool selectionFails_ = false;
    std::optional<PlatformError> startError_;
    std::vector<std::shared_ptr<SimAudioInputState>> inputs_;
};

}  // namespace tavlo
