#include "engine/session/TranscriptAccumulator.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "engine/support/TextTrimming.h"

namespace tavlo {
namespace {

// Overlap between the end of the transcript and the start of a new segment is
// looked for over at most this many tokens.
constexpr std::size_t maxOverlapTokens = 32;
// Hypotheses whose first words start less than this apart belong to the same
// recogniser segment.
constexpr double sameSegmentTolerance = 0.35;
// A rewording keeps at least this share of the words' count...
constexpr double minimumRevisionLengthRatio = 0.72;
// ...and shares at least this share of its words with the hypothesis it replaces.
constexpr double minimumRevisionOverlap = 0.52;

// White space as a regular expression's \s sees it: tab, line feed, form
// feed, carriage return and the separators.
bool isPatternSpace(UChar32 c) {
    return c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D ||
           (U_GET_GC_MASK(c) & U_GC_Z_MASK) != 0;
}

// Letters (with their combining marks) and numbers.
bool isAlphanumeric(UChar32 c) {
    return (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

std::string toUtf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

// The text without the code points at either end for which `strip` holds.
template <class Predicate>
icu::UnicodeString trimmed(const icu::UnicodeString& text, Predicate strip) {
    int32_t start = 0;
    int32_t end = text.length();
    while (start < end) {
        UChar32 c = text.char32At(start);
        if (!strip(c)) break;
        start += U16_LENGTH(c);
    }
    while (end > start) {
        int32_t last = text.moveIndex32(end, -1);
        if (!strip(text.char32At(last))) break;
        end = last;
    }
    return icu::UnicodeString(text, start, end - start);
}

bool contains(const std::string& haystack, const std::string& needle) {
    return !needle.empty() && haystack.find(needle) != std::string::npos;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

std::string TranscriptAccumulator::normalizeWhitespace(std::string_view text) {
    const icu::UnicodeString source = icu::UnicodeString::fromUTF8(text);
    icu::UnicodeString collapsed;
    bool inSpace = false;
    for (int32_t i = 0; i < source.length();) {
        UChar32 c = source.char32At(i);
        i += U16_LENGTH(c);
        if (isPatternSpace(c)) {
            if (!inSpace) collapsed.append(UChar32(' '));
            inSpace = true;
        } else {
            collapsed.append(c);
            inSpace = false;
        }
    }
    return trimWhitespaceAndLineBreaks(toUtf8(collapsed));
}

std::vector<std::string> TranscriptAccumulator::words(std::string_view text) {
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) result.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

TranscriptAccumulator::Tokens TranscriptAccumulator::tokens(std::string_view text) {
    Tokens result;
    for (const std::string& word : words(text)) {
        icu::UnicodeString lowered = icu::UnicodeString::fromUTF8(word);
        lowered.toLower(icu::Locale::getRoot());
        icu::UnicodeString token = trimmed(lowered, [](UChar32 c) { return !isAlphanumeric(c); });
        if (!token.isEmpty()) result.push_back(toUtf8(token));
    }
    return result;
}

std::string TranscriptAccumulator::key(const Tokens& tokens) {
    std::string result;
    for (const std::string& token : tokens) {
        if (!result.empty()) result += ' ';
        result += token;
    }
    return result;
}

std::string TranscriptAccumulator::join(std::string_view first, std::string_view second) {
    std::string a = trimWhitespaceAndLineBreaks(first);
    std::string b = trimWhitespaceAndLineBreaks(second);
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + ' ' + b;
}

std::map<std::string, int> TranscriptAccumulator::countsByToken(const Tokens& tokens) {
    std::map<std::string, int> counts;
    for (const std::string& token : tokens) ++counts[token];
    return counts;
}

bool TranscriptAccumulator::shouldReplaceAsFullRevision(const Tokens& existingTokens,
                                                        const Tokens& candidate) {
    if (existingTokens.empty() || candidate.empty()) return false;
    const auto minimumCount = static_cast<std::size_t>(
        static_cast<double>(existingTokens.size()) * minimumRevisionLengthRatio);
    if (candidate.size() < minimumCount) return false;
    std::map<std::string, int> remaining = countsByToken(existingTokens);
    std::size_t matches = 0;
    for (const std::string& token : candidate) {
        auto found = remaining.find(token);
        if (found != remaining.end() && found->second >= 1) {
            --found->second;
            ++matches;
        }
    }
    const double larger = static_cast<double>(std::max(existingTokens.size(), candidate.size()));
    return static_cast<double>(matches) / larger >= minimumRevisionOverlap;
}

bool TranscriptAccumulator::isSameSegment(std::optional<double> a, std::optional<double> b) {
    if (!a && !b) return true;
    if (a && b) return std::fabs(*a - *b) < sameSegmentTolerance;
    return false;
}

void TranscriptAccumulator::startSegment(std::string committed, const std::string& candidate,
                                         std::optional<double> timestamp) {
    committedText_ = std::move(committed);
    activeText_ = candidate;
    activeFirstSegmentTimestamp_ = timestamp;
    text_ = join(committedText_, activeText_);
}

std::string TranscriptAccumulator::ingest(std::string_view hypothesis,
                                          std::optional<double> firstSegmentTimestamp) {
    const std::string candidate = normalizeWhitespace(hypothesis);
    if (candidate.empty()) return text_;

    if (activeText_.empty()) {
        startSegment(committedText_, candidate, firstSegmentTimestamp);
        return text_;
    }

    const Tokens textTokens = tokens(text_);
    const Tokens candidateTokens = tokens(candidate);
    const std::string textKey = key(textTokens);
    const std::string candidateKey = key(candidateTokens);

    // Nothing new: the transcript already holds this hypothesis.
    if (candidateKey == textKey || contains(textKey, candidateKey)) return text_;

    // The hypothesis restates the whole transcript and goes on.
    if (startsWith(candidateKey, textKey)) {
        startSegment({}, candidate, firstSegmentTimestamp);
        return text_;
    }

    if (isSameSegment(activeFirstSegmentTimestamp_, firstSegmentTimestamp)) {
        const Tokens activeTokens = tokens(activeText_);
        const std::string activeKey = key(activeTokens);
        const bool alreadyActive = candidateKey == activeKey || contains(activeKey, candidateKey);
        if (!alreadyActive && (startsWith(candidateKey, activeKey) ||
                               shouldReplaceAsFullRevision(activeTokens, candidateTokens))) {
            startSegment(committedText_, candidate, firstSegmentTimestamp);
            return text_;
        }
    }

    // A new segment, or one that cannot be told apart: merge where the end of
    // the transcript and the start of the hypothesis overlap.
    const std::size_t longest =
        std::min({textTokens.size(), candidateTokens.size(), maxOverlapTokens});
    std::size_t overlap = 0;
    for (std::size_t k = longest; k >= 1; --k) {
        if (std::equal(textTokens.end() - static_cast<std::ptrdiff_t>(k), textTokens.end(),
                       candidateTokens.begin())) {
            overlap = k;
            break;
        }
    }
    const bool accepted = candidateTokens.size() > 1 ? overlap >= 2
                                                     : overlap >= candidateTokens.size();
    if (!accepted) {
        startSegment(text_, candidate, firstSegmentTimestamp);
        return text_;
    }
    const std::vector<std::string> textWords = words(text_);
    const std::size_t kept = textWords.size() >= overlap ? textWords.size() - overlap : 0;
    std::string committed;
    for (std::size_t i = 0; i < kept; ++i) {
        if (i > 0) committed += ' ';
        committed += textWords[i];
    }
    startSegment(std::move(committed), candidate, firstSegmentTimestamp);
    return text_;
}

}  // namespace tavlo
