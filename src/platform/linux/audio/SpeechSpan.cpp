#include "platform/linux/audio/SpeechSpan.h"

#include <algorithm>

namespace tavlo {

std::optional<FrameRange> speechSpan(const std::vector<bool>& voicedFrames, const SpeechSpanRules& rules) {
    const std::size_t shortest = std::max<std::size_t>(rules.shortestSpeechFrames, 1);
    std::optional<std::size_t> first;
    std::size_t end = 0;
    for (std::size_t start = 0; start < voicedFrames.size();) {
        if (!voicedFrames[start]) {
            ++start;
            continue;
        }
        std::size_t stop = start;
        while (stop < voicedFrames.size() && voicedFrames[stop]) ++stop;
        if (stop - start >= shortest) {
            if (!first) first = start;
            end = stop;
        }
        start = stop;
    }
    if (!first) return std::nullopt;
    return FrameRange{*first - std::min(*first, rules.marginFrames),
                      std::min(end + rules.marginFrames, voicedFrames.size())};
}

}  // namespace tavlo
