#pragma once
// One recognition with PocketSphinx: the request queues the microphone's
// buffers, and `run` decodes them on the recognition thread, reporting the
// hypothesis whenever it changes and the final one once the audio has ended.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/SpeechRecognizerService.h"
#include "platform/linux/audio/PocketSphinxDecoderPool.h"
#include "platform/linux/audio/PocketSphinxUtterances.h"

namespace tavlo {

class PocketSphinxRequest final : public RecognitionRequest {
public:
    explicit PocketSphinxRequest(RecognitionRequestSettings settings) : settings_(std::move(settings)) {}

    void append(const AudioBuffer& buffer) override;
    void endAudio() override;

    const RecognitionRequestSettings& settings() const { return settings_; }

    // For the recognition thread: waits until audio or the end of it is
    // there, or `interrupt` is called; moves the queued buffers into `out`.
    // Returns false once the audio has ended and everything was taken.
    bool take(std::deque<AudioBuffer>& out, const std::atomic<bool>& cancelled);
    void interrupt();

    // Buffers waiting for the recognition thread: how far decoding lags
    // behind the microphone.
    std::size_t queuedBufferCount();

private:
    const RecognitionRequestSettings settings_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<AudioBuffer> queued_;
    bool ended_ = false;
};

// Decodes the request's audio until it ends or `cancelled` is set; every
// outcome goes to `handler` on this thread. Long audio is decoded as a chain
// of utterances cut as `limits` say.
void runPocketSphinxRecognition(PocketSphinxDecoderPool& pool, PocketSphinxRequest& request,
                                const RecognitionHandler& handler, const std::atomic<bool>& cancelled,
                                const UtteranceLimits& limits = {});

}  // namespace tavlo
