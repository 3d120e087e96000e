#include "platform/linux/audio/PocketSphinxDecoderPool.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace tavlo {
namespace {

// One decoder holds the whole language model in memory; one spare is enough
// for dictations that follow each other.
constexpr std::size_t maxIdleDecoders = 1;

std::set<std::string> lowerCaseSet(const std::vector<std::string>& words) {
    std::set<std::string> result;
    for (std::string word : words) {
        std::transform(word.begin(), word.end(), word.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        result.insert(std::move(word));
    }
    return result;
}

}  // namespace

std::unique_ptr<PocketSphinxDecoder> PocketSphinxDecoderPool::acquire(const std::vector<std::string>& words) {
    std::unique_ptr<PocketSphinxDecoder> decoder;
    {
        std::lock_guard lock(mutex_);
        const std::set<std::string> wanted = lowerCaseSet(words);
        // Words cannot be taken out of a language model again: a decoder
        // that learned words this dictation does not have is not reused.
        const auto fits = std::find_if(idle_.begin(), idle_.end(), [&wanted](const auto& candidate) {
            return std::includes(wanted.begin(), wanted.end(), candidate->addedWords().begin(),
                                 candidate->addedWords().end());
        });
        if (fits != idle_.end()) {
            decoder = std::move(*fits);
            idle_.erase(fits);
        }
    }
    if (!decoder) decoder = std::make_unique<PocketSphinxDecoder>(model_);
    decoder->addVocabulary(words);
    return decoder;
}

void PocketSphinxDecoderPool::release(std::unique_ptr<PocketSphinxDecoder> decoder) {
    if (!decoder) return;
    decoder->finish();
    std::unique_ptr<PocketSphinxDecoder> dropped;
    std::lock_guard lock(mutex_);
    if (idle_.size() >= maxIdleDecoders) {
        dropped = std::move(idle_.front());
        idle_.erase(idle_.begin());
    }
    idle_.push_back(std::move(decoder));
}

void PocketSphinxDecoderPool::warmUp() {
    {
        std::lock_guard lock(mutex_);
        if (!idle_.empty()) return;
    }
    release(std::make_unique<PocketSphinxDecoder>(model_));
}

}  // namespace tavlo
