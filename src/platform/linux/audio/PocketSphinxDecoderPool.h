#pragma once
// Loaded decoders kept between dictations: loading the model takes far longer
// than a dictation's first words may wait, so a finished decoder is reused.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/linux/audio/PocketSphinxDecoder.h"

namespace tavlo {

class PocketSphinxDecoderPool {
public:
    explicit PocketSphinxDecoderPool(PocketSphinxModel model) : model_(std::move(model)) {}

    // A decoder that knows exactly the pronounceable ones of `words` on top of
    // the model: a kept one when its added words are among them, else a newly
    // loaded one. When none is kept but one is still being loaded ahead or
    // finishing an earlier dictation (a dictation cancelled and started again
    // at once), that one is waited for up to `returnWait`: it is back far
    // sooner than a second copy of the model would load, and costs no memory.
    // Throws PlatformError when the model cannot be loaded.
    std::unique_ptr<PocketSphinxDecoder> acquire(const std::vector<std::string>& words);
    void release(std::unique_ptr<PocketSphinxDecoder> decoder);

    // Loads one decoder ahead of the first dictation.
    void warmUp();

    const PocketSphinxModel& model() const { return model_; }

    static constexpr std::chrono::milliseconds returnWait{2000};

private:
    // Puts a decoder back (or only counts one that failed to load as no
    // longer on its way) and wakes a dictation waiting for it.
    void giveBack(std::unique_ptr<PocketSphinxDecoder> decoder);

    const PocketSphinxModel model_;
    std::mutex mutex_;
    std::condition_variable returned_;
    std::vector<std::unique_ptr<PocketSphinxDecoder>> idle_;
    // Decoders that will come back: lent to a dictation or being loaded ahead.
    int onTheirWay_ = 0;
};

}  // namespace tavlo
