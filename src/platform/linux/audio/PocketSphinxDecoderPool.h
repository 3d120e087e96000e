#pragma once
// Loaded decoders kept between dictations: loading the model takes far longer
// than a dictation's first words may wait, so a finished decoder is reused.
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
    // loaded one. Throws PlatformError when the model cannot be loaded.
    std::unique_ptr<PocketSphinxDecoder> acquire(const std::vector<std::string>& words);
    void release(std::unique_ptr<PocketSphinxDecoder> decoder);

    // Loads one decoder ahead of the first dictation.
    void warmUp();

    const PocketSphinxModel& model() const { return model_; }

private:
    const PocketSphinxModel model_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<PocketSphinxDecoder>> idle_;
};

}  // namespace tavlo
