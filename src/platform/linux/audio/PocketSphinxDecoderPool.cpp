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
        std::unique_lock lock(mutex_);
        const std::set<std::string> wanted = lowerCaseSet(words);
        // Words cannot be taken out of a language model again: a decoder
        // that learned words this dictation does not have is not reused.
        const auto takeFitting = [&] {
            const auto fits = std::find_if(idle_.begin(), idle_.end(), [&wanted](const auto& candidate) {
                return std::includes(wanted.begin(), wanted.end(), candidate->addedWords().begin(),
                                     candidate->addedWords().end());
            });
            if (fits == idle_.end()) return false;
            decoder = std::move(*fits);
            idle_.erase(fits);
            return true;
        };
        const auto deadline = std::chrono::steady_clock::now() + returnWait;
        while (!takeFitting() && onTheirWay_ > 0) {
            const int awaited = onTheirWay_;
            if (!returned_.wait_until(lock, deadline, [&] { return onTheirWay_ < awaited; })) break;
        }
        ++onTheirWay_;
    }
    try {
        if (!decoder) decoder = std::make_unique<PocketSphinxDecoder>(model_);
        decoder->addVocabulary(words);
    } catch (...) {
        giveBack(nullptr);  // no longer on its way
        throw;
    }
    return decoder;
}

void PocketSphinxDecoderPool::release(std::unique_ptr<PocketSphinxDecoder> decoder) {
    if (decoder) decoder->finish();
    giveBack(std::move(decoder));
}

void PocketSphinxDecoderPool::giveBack(std::unique_ptr<PocketSphinxDecoder> decoder) {
    std::unique_ptr<PocketSphinxDecoder> dropped;
    {
        std::lock_guard lock(mutex_);
        --onTheirWay_;
        if (decoder) {
            if (idle_.size() >= maxIdleDecoders) {
                dropped = std::move(idle_.front());
                idle_.erase(idle_.begin());
            }
            idle_.push_back(std::move(decoder));
        }
    }
    returned_.notify_all();
}

void PocketSphinxDecoderPool::warmUp() {
    {
        std::lock_guard lock(mutex_);
        if (!idle_.empty() || onTheirWay_ > 0) return;
    }
    release(acquire({}));
}

}  // namespace tavlo
