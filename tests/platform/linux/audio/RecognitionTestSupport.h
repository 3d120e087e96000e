#pragma once
// Speech for the recogniser tests: espeak-ng's voice decoded to float samples
// and cut into microphone-sized buffers, and a handler that keeps what the
// recogniser reports.
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/audio/AudioTestSupport.h"
#include "platform/SpeechRecognizerService.h"

namespace tavlo::testing {

// espeak-ng's speech for `text` as mono float buffers at 22.05 kHz, with
// `leadingSilence` seconds of silence first.
inline std::vector<AudioBuffer> speechBuffers(const std::string& text, const std::filesystem::path& scratch,
                                              double leadingSilence = 0.0, std::uint32_t bufferFrames = 1024) {
    const auto wav = scratch / "speech.wav";
    const pid_t pid = spawn({findProgram("espeak-ng"), "-v", "en-us", "-w", wav.string(), text},
                            childEnvironment({}, {}), scratch / "espeak.log", nullptr);
    if (pid <= 0 || waitForProcess(pid, std::chrono::seconds(20)) != 0) return {};
    const auto decoded = decodeWithFfmpeg(wav, scratch, {"-ac", "1", "-ar", "22050"});
    if (!decoded) return {};
    std::vector<float> samples(static_cast<std::size_t>(leadingSilence * 22050), 0.0f);
    samples.insert(samples.end(), decoded->begin(), decoded->end());
    std::vector<AudioBuffer> buffers;
    for (std::size_t at = 0; at < samples.size(); at += bufferFrames) {
        AudioBuffer buffer;
        buffer.format = {22050, 1};
        buffer.frameCount = static_cast<std::uint32_t>(std::min<std::size_t>(bufferFrames, samples.size() - at));
        buffer.samples.assign(samples.begin() + static_cast<std::ptrdiff_t>(at),
                              samples.begin() + static_cast<std::ptrdiff_t>(at + buffer.frameCount));
        buffers.push_back(std::move(buffer));
    }
    return buffers;
}

// A sound file's first channel as mono float buffers at 22.05 kHz.
inline std::vector<AudioBuffer> fileBuffers(const std::filesystem::path& file, const std::filesystem::path& scratch,
                                            std::uint32_t bufferFrames = 1024) {
    const auto decoded = decodeWithFfmpeg(file, scratch, {"-ac", "1", "-ar", "22050"});
    if (!decoded) return {};
    std::vector<AudioBuffer> buffers;
    for (std::size_t at = 0; at < decoded->size(); at += bufferFrames) {
        AudioBuffer buffer;
        buffer.format = {22050, 1};
        buffer.frameCount = static_cast<std::uint32_t>(std::min<std::size_t>(bufferFrames, decoded->size() - at));
        buffer.samples.assign(decoded->begin() + static_cast<std::ptrdiff_t>(at),
                              decoded->begin() + static_cast<std::ptrdiff_t>(at + buffer.frameCount));
        buffers.push_back(std::move(buffer));
    }
    return buffers;
}

class RecognitionLog {
public:
    RecognitionHandler handler() {
        // Notifies under the lock: a waiter that then returns and destroys
        // the log finds the recogniser's thread done with it.
        return [this](const std::optional<RecognitionResult>& result, const std::optional<PlatformError>& error) {
            std::lock_guard lock(mutex_);
            if (result) {
                results_.push_back(*result);
                if (!result->isFinal && !firstPartialAt_) firstPartialAt_ = std::chrono::steady_clock::now();
            }
            if (error) errors_.push_back(*error);
            changed_.notify_all();
        };
    }

    bool waitForPartial(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [this] { return firstPartialAt_.has_value(); });
    }
    // Waits for a final result or an error.
    bool waitForEnd(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [this] { return endedLocked(); });
    }
    std::optional<RecognitionResult> final() {
        std::lock_guard lock(mutex_);
        for (const auto& result : results_)
            if (result.isFinal) return result;
        return std::nullopt;
    }
    std::vector<RecognitionResult> partials() {
        std::lock_guard lock(mutex_);
        std::vector<RecognitionResult> result;
        for (const auto& r : results_)
            if (!r.isFinal) result.push_back(r);
        return result;
    }
    std::vector<PlatformError> errors() {
        std::lock_guard lock(mutex_);
        return errors_;
    }
    std::optional<std::chrono::steady_clock::time_point> firstPartialAt() {
        std::lock_guard lock(mutex_);
        return firstPartialAt_;
    }

private:
    bool endedLocked() const {
        if (!errors_.empty()) return true;
        for (const auto& result : results_)
            if (result.isFinal) return true;
        return false;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<RecognitionResult> results_;
    std::vector<PlatformError> errors_;
    std::optional<std::chrono::steady_clock::time_point> firstPartialAt_;
};

}  // namespace tavlo::testing
