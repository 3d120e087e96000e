#pragma once
// Merges the stream of recogniser hypotheses into one growing transcript. The
// recogniser may restart with only the newest words after a pause, revise
// earlier words, or repeat what it already sent; the merged transcript neither
// loses earlier phrases nor repeats them. A pure value type.
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavlo {

class TranscriptAccumulator {
public:
    TranscriptAccumulator() = default;

    void reset() { *this = TranscriptAccumulator(); }

    // Feeds one hypothesis (the recogniser's formatted text and the start of
    // its first segment in seconds, absent when it has no segments) and
    // returns the merged transcript, which is also kept as `text()`.
    std::string ingest(std::string_view hypothesis, std::optional<double> firstSegmentTimestamp);

    // The merged transcript returned by the last ingest.
    const std::string& text() const noexcept { return text_; }
    // The part before the current segment, no longer revised.
    const std::string& committedText() const noexcept { return committedText_; }
    // The latest hypothesis for the current segment, normalised.
    const std::string& activeText() const noexcept { return activeText_; }
    std::optional<double> activeFirstSegmentTimestamp() const noexcept {
        return activeFirstSegmentTimestamp_;
    }

    bool operator==(const TranscriptAccumulator&) const = default;

private:
    using Tokens = std::vector<std::string>;

    static std::string normalizeWhitespace(std::string_view text);
    static std::vector<std::string> words(std::string_view text);
    static Tokens tokens(std::string_view text);
    static std::string key(const Tokens& tokens);
    static std::string join(std::string_view first, std::string_view second);
    static std::map<std::string, int> countsByToken(const Tokens& tokens);
    static bool shouldReplaceAsFullRevision(const Tokens& existingTokens, const Tokens& candidate);
    static bool isSameSegment(std::optional<double> a, std::optional<double> b);

    void startSegment(std::string committed, const std::string& candidate,
                      std::optional<double> timestamp);

    std::string text_;
    std::string committedText_;
    std::string activeText_;
    std::optional<double> activeFirstSegmentTimestamp_;
};

}  // namespace tavlo
