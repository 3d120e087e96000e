#include "platform/linux/audio/PocketSphinxRecognition.h"

#include <vector>

#include "platform/linux/audio/LiveVoiceActivity.h"
#include "platform/linux/audio/MonoResampler.h"
#include "platform/linux/audio/SpeechGate.h"
#include "platform/linux/audio/SteadyTranscript.h"

namespace tavlo {
namespace {

constexpr const char* errorDomain = "pocketsphinx";
// Asking the decoder for its hypothesis costs a little time; every 20 ms of
// audio (about every microphone buffer) keeps the text close to the voice.
constexpr std::size_t samplesBetweenHypotheses = 320;

RecognitionResult resultOf(const SpeechHypothesis& hypothesis, bool isFinal) {
    return {hypothesis.text, hypothesis.firstWordStart, isFinal};
}

// The decoder's side of the speech gate.
class GatedUtterances final : public GatedAudio {
public:
    explicit GatedUtterances(ChainedUtterances& utterances) : utterances_(utterances) {}

    void hear(const std::int16_t* samples, std::size_t count) override {
        utterances_.process(samples, count);
        heardSamples += count;
    }
    void speechEnded() override {
        utterances_.endUtterance();
        endedSpeech = true;
    }
    void skip(std::size_t count) override { utterances_.skip(count); }

    // Since the caller last cleared them.
    std::size_t heardSamples = 0;
    bool endedSpeech = false;

private:
    ChainedUtterances& utterances_;
};

// Judges the stream frame by frame and passes it through the gate; a rest
// shorter than a frame waits in `unjudged` for the next samples.
void passThroughGate(const std::vector<std::int16_t>& samples, std::vector<std::int16_t>& unjudged,
                     LiveVoiceActivity& activity, SpeechGate& gate, GatedAudio& out) {
    unjudged.insert(unjudged.end(), samples.begin(), samples.end());
    std::size_t at = 0;
    for (; at + LiveVoiceActivity::frameLength <= unjudged.size(); at += LiveVoiceActivity::frameLength)
        gate.frame(unjudged.data() + at, activity.isSpeech(unjudged.data() + at), out);
    unjudged.erase(unjudged.begin(), unjudged.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace

void PocketSphinxRequest::append(const AudioBuffer& buffer) {
    {
        std::lock_guard lock(mutex_);
        if (ended_) return;
        queued_.push_back(buffer);
    }
    changed_.notify_one();
}

void PocketSphinxRequest::endAudio() {
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
    }
    changed_.notify_one();
}

void PocketSphinxRequest::interrupt() {
    // Taking the lock orders the caller's cancel flag before the waiter's check.
    { std::lock_guard lock(mutex_); }
    changed_.notify_all();
}

std::size_t PocketSphinxRequest::queuedBufferCount() {
    std::lock_guard lock(mutex_);
    return queued_.size();
}

bool PocketSphinxRequest::take(std::deque<AudioBuffer>& out, const std::atomic<bool>& cancelled) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !queued_.empty() || ended_ || cancelled.load(); });
    out.swap(queued_);
    queued_.clear();
    return !(ended_ && out.empty());
}

void runPocketSphinxRecognition(PocketSphinxDecoderPool& pool, PocketSphinxRequest& request,
                                const RecognitionHandler& handler, const std::atomic<bool>& cancelled,
                                const UtteranceLimits& limits) {
    std::unique_ptr<PocketSphinxDecoder> decoder;
    try {
        decoder = pool.acquire(request.settings().contextualStrings);
    } catch (const PlatformError& error) {
        handler(std::nullopt, error);
        return;
    }
    ChainedUtterances utterances(*decoder, limits);
    utterances.start();
    // Only what the voice activity detector judges speech reaches the
    // decoder: it cannot make words of silence or noise, and it spends no
    // time on them.
    GatedUtterances gated(utterances);
    LiveVoiceActivity activity;
    SpeechGate gate(LiveVoiceActivity::frameLength);

    MonoResampler resampler;
    std::deque<AudioBuffer> buffers;
    std::vector<std::int16_t> samples;
    std::vector<std::int16_t> unjudged;
    std::size_t samplesSinceHypothesis = 0;
    std::string reportedText;
    SteadyTranscript steady;
    const bool reportsPartials = request.settings().shouldReportPartialResults;

    while (!cancelled && request.take(buffers, cancelled)) {
        // Buffers that queued up while the decoder was busy (or loading) are
        // worked off one by one, with partial results along the way.
        for (const AudioBuffer& buffer : buffers) {
            if (cancelled) break;
            samples.clear();
            resampler.convert(buffer, samples);
            gated.heardSamples = 0;
            gated.endedSpeech = false;
            passThroughGate(samples, unjudged, activity, gate, gated);
            // Nothing new to say about audio the decoder did not hear; but
            // the end of a stretch of speech settles its words, which the
            // partial text should show during the pause that follows.
            samplesSinceHypothesis += gated.heardSamples;
            if (gated.endedSpeech) samplesSinceHypothesis = samplesBetweenHypotheses;
            if (!reportsPartials || samplesSinceHypothesis < samplesBetweenHypotheses) continue;
            samplesSinceHypothesis = 0;
            SpeechHypothesis hypothesis = utterances.hypothesis();
            if (gated.endedSpeech) {
                hypothesis.text = steady.settle(hypothesis.text);
            } else {
                auto shown = steady.partial(hypothesis.text);
                if (!shown) continue;
                hypothesis.text = std::move(*shown);
            }
            if (hypothesis.text.empty() || hypothesis.text == reportedText) continue;
            reportedText = hypothesis.text;
            handler(resultOf(hypothesis, false), std::nullopt);
        }
        buffers.clear();
    }

    if (cancelled) {
        // Reported before the decoder is put back: ending its utterance runs
        // the final search passes, which nobody waits for now.
        handler(std::nullopt, PlatformError(errorDomain, 2, "Speech recognition was cancelled."));
        pool.release(std::move(decoder));
        return;
    }
    samples.clear();
    resampler.flush(samples);
    passThroughGate(samples, unjudged, activity, gate, gated);
    gate.finalRest(unjudged.data(), unjudged.size(), gated);
    SpeechHypothesis final = utterances.finish();
    final.text = steady.settle(final.text);
    pool.release(std::move(decoder));
    handler(resultOf(final, true), std::nullopt);
}

}  // namespace tavlo
