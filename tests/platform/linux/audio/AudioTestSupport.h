#pragma once
// Shared pieces of the audio adapter tests: one private sound server for a
// whole suite, a tap that keeps what it receives, and audio decoded by ffmpeg.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "harness/ChildProcesses.h"
#include "harness/PulseAudioServer.h"
#include "platform/AudioCapture.h"

namespace tavlo::testing {

// Starts the suite's server once; tests skip when the tools are missing.
class SoundServerSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!PulseAudioServer::missingPrograms().empty()) return;
        server_ = new PulseAudioServer();
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        const std::string missing = PulseAudioServer::missingPrograms();
        if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing;
        ASSERT_TRUE(server_->running()) << server_->error();
    }
    static PulseAudioServer& server() { return *server_; }

private:
    static inline PulseAudioServer* server_ = nullptr;
};

// What a tap received, safe to read from the test's thread.
class TapRecorder {
public:
    AudioInput::TapBlock block() {
        return [this](const AudioBuffer& buffer) {
            std::lock_guard lock(mutex_);
            buffers_.push_back(buffer);
            if (!firstBufferAt_) firstBufferAt_ = std::chrono::steady_clock::now();
            arrived_.notify_all();
        };
    }
    std::size_t count() {
        std::lock_guard lock(mutex_);
        return buffers_.size();
    }
    std::vector<AudioBuffer> buffers() {
        std::lock_guard lock(mutex_);
        return buffers_;
    }
    std::optional<std::chrono::steady_clock::time_point> firstBufferAt() {
        std::lock_guard lock(mutex_);
        return firstBufferAt_;
    }
    bool waitForCount(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, limit, [&] { return buffers_.size() >= count; });
    }
    std::vector<float> samples() {
        std::lock_guard lock(mutex_);
        std::vector<float> all;
        for (const AudioBuffer& buffer : buffers_) all.insert(all.end(), buffer.samples.begin(), buffer.samples.end());
        return all;
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<AudioBuffer> buffers_;
    std::optional<std::chrono::steady_clock::time_point> firstBufferAt_;
};

// A file decoded by ffmpeg as 32-bit float samples, at the file's own rate
// and channels (or the ones asked for); absent when ffmpeg fails.
inline std::optional<std::vector<float>> decodeWithFfmpeg(const std::filesystem::path& file,
                                                          const std::filesystem::path& scratch,
                                                          const std::vector<std::string>& outputOptions = {}) {
    const auto raw = scratch / "decoded.f32";
    std::vector<std::string> argv = {findProgram("ffmpeg"), "-nostdin", "-v", "error", "-y", "-i", file.string()};
    argv.insert(argv.end(), outputOptions.begin(), outputOptions.end());
    argv.insert(argv.end(), {"-f", "f32le", raw.string()});
    const pid_t pid = spawn(argv, childEnvironment({}, {}), scratch / "ffmpeg.log", nullptr);
    const int status = pid > 0 ? waitForProcess(pid, std::chrono::seconds(30)) : -1;
    if (status != 0) return std::nullopt;
    std::vector<float> samples(std::filesystem::file_size(raw) / sizeof(float));
    std::FILE* input = std::fopen(raw.c_str(), "rb");
    if (!input) return std::nullopt;
    const std::size_t read = std::fread(samples.data(), sizeof(float), samples.size(), input);
    std::fclose(input);
    samples.resize(read);
    return samples;
}

}  // namespace tavlo::testing
