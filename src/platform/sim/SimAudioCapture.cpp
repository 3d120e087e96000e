#include "platform/sim/SimAudioCapture.h"

#include <utility>

namespace tavlo {

bool SimAudioInputState::deliver(const AudioBuffer& buffer) {
    // The lock is held while the tap runs, so removing the tap waits for a
    // running block, as a real capture thread guarantees.
    std::lock_guard lock(mutex_);
    if (!running_ || lost_ || !tap_) return false;
    tap_(buffer);
    return true;
}

bool SimAudioInputState::loseDevice() {
    std::lock_guard lock(mutex_);
    if (!running_ || lost_) return false;
    lost_ = true;
    if (!lossHandler_) return false;
    lossHandler_();
    return true;
}

bool SimAudioInputState::deliverSilence(std::uint32_t frames) {
    AudioBuffer buffer{format_, frames, std::vector<float>(std::size_t(frames) * format_.channelCount)};
    return deliver(buffer);
}

bool SimAudioInputState::isRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

bool SimAudioInputState::hasTap() const {
    std::lock_guard lock(mutex_);
    return static_cast<bool>(tap_);
}

std::size_t SimAudioInputState::tapBufferFrames() const {
    std::lock_guard lock(mutex_);
    return tapBufferFrames_;
}

std::optional<std::uint32_t> SimAudioInputState::selectedDeviceID() const {
    std::lock_guard lock(mutex_);
    return selectedDeviceID_;
}

bool SimAudioInputState::released() const {
    std::lock_guard lock(mutex_);
    return released_;
}

class SimAudioInput final : public AudioInput {
public:
    SimAudioInput(SimAudioCapture& capture, std::shared_ptr<SimAudioInputState> state)
        : capture_(capture), state_(std::move(state)) {}

    ~SimAudioInput() override {
        AudioInput::TapBlock released;
        AudioInput::LossHandler releasedHandler;
        std::lock_guard lock(state_->mutex_);
        state_->running_ = false;
        state_->released_ = true;
        released.swap(state_->tap_);
        releasedHandler.swap(state_->lossHandler_);
    }

    bool setCurrentDevice(std::uint32_t deviceID) override {
        {
            std::lock_guard lock(capture_.mutex_);
            if (capture_.selectionFails_) return false;
        }
        std::lock_guard lock(state_->mutex_);
        state_->selectedDeviceID_ = deviceID;
        return true;
    }

    AudioFormat inputFormat() override { return state_->format_; }

    void installTap(std::size_t bufferFrames, TapBlock block) override {
        std::lock_guard lock(state_->mutex_);
        state_->tap_ = std::move(block);
        state_->tapBufferFrames_ = bufferFrames;
    }

    void installLossHandler(LossHandler handler) override {
        std::lock_guard lock(state_->mutex_);
        state_->lossHandler_ = std::move(handler);
    }

    void removeTap() override {
        TapBlock released;
        LossHandler releasedHandler;
        {
            std::lock_guard lock(state_->mutex_);
            released.swap(state_->tap_);
            releasedHandler.swap(state_->lossHandler_);
        }
    }

    void prepare() override {}

    void start() override {
        {
            std::lock_guard lock(capture_.mutex_);
            if (capture_.startError_) throw *capture_.startError_;
        }
        std::lock_guard lock(state_->mutex_);
        state_->running_ = true;
        state_->lost_ = false;
    }

    void stop() override {
        std::lock_guard lock(state_->mutex_);
        state_->running_ = false;
    }

    bool isRunning() const override {
        std::lock_guard lock(state_->mutex_);
        return state_->running_;
    }

private:
    SimAudioCapture& capture_;
    std::shared_ptr<SimAudioInputState> state_;
};

void SimAudioCapture::requestMicrophoneAccess(std::function<void(bool granted)> completion) {
    std::lock_guard lock(mutex_);
    ++microphoneRequests_;
    pending_.push_back(std::move(completion));
}

std::unique_ptr<AudioInput> SimAudioCapture::makeInput() {
    std::lock_guard lock(mutex_);
    auto state = std::shared_ptr<SimAudioInputState>(new SimAudioInputState(format_));
    inputs_.push_back(state);
    return std::make_unique<SimAudioInput>(*this, std::move(state));
}

std::optional<std::vector<AudioDeviceInfo>> SimAudioCapture::inputDevices() {
    std::lock_guard lock(mutex_);
    return devices_;
}

void SimAudioCapture::answerMicrophoneAccess(bool granted) {
    std::vector<std::function<void(bool)>> waiting;
    {
        std::lock_guard lock(mutex_);
        waiting.swap(pending_);
    }
    for (auto& completion : waiting) completion(granted);
}

std::size_t SimAudioCapture::pendingMicrophoneRequestCount() const {
    std::lock_guard lock(mutex_);
    return pending_.size();
}

std::size_t SimAudioCapture::microphoneRequestCount() const {
    std::lock_guard lock(mutex_);
    return microphoneRequests_;
}

void SimAudioCapture::setInputFormat(AudioFormat format) {
    std::lock_guard lock(mutex_);
    format_ = format;
}

void SimAudioCapture::setDevices(std::optional<std::vector<AudioDeviceInfo>> devices) {
    std::lock_guard lock(mutex_);
    devices_ = std::move(devices);
}

void SimAudioCapture::setDeviceSelectionFails(bool fails) {
    std::lock_guard lock(mutex_);
    selectionFails_ = fails;
}

void SimAudioCapture::setStartError(std::optional<PlatformError> error) {
    std::lock_guard lock(mutex_);
    startError_ = std::move(error);
}

std::vector<std::shared_ptr<SimAudioInputState>> SimAudioCapture::inputs() const {
    std::lock_guard lock(mutex_);
    return inputs_;
}

std::shared_ptr<SimAudioInputState> SimAudioCapture::latestInput() const {
    std::lock_guard lock(mutex_);
    return inputs_.empty() ? nullptr : inputs_.back();
}

}  // namespace tavlo
