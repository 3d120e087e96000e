#include "text/Cleanup.h"

#include <algorithm>
#include <array>

namespace tavlo::TextPipeline::detail {

UnicodeString normalizeWhitespace(const UnicodeString& text) {
    // In one pass: U+00A0 becomes a space, then every run of spaces and tabs
    // ("[ \t]+") one space and every run of three or more line feeds
    // ("\n{3,}") two. A no-break space joins the run around it, since it is
    // a space by the time the runs are replaced.
    const int32_t length = text.length();
    UnicodeString result;
    for (int32_t i = 0; i < length;) {
        const char16_t unit = text.charAt(i);
        if (unit == u' ' || unit == u'\t' || unit == u'\u00A0') {
            while (i < length && (text.charAt(i) == u' ' || text.charAt(i) == u'\t' || text.charAt(i) == u'\u00A0')) ++i;
            result.append(u' ');
        } else if (unit == u'\n') {
            int32_t run = 0;
            for (; i < length && text.charAt(i) == u'\n'; ++i) ++run;
            result.append(u'\n');
            if (run >= 2) result.append(u'\n');
        } else {
            const int32_t start = i;
            while (i < length && text.charAt(i) != u' ' && text.charAt(i) != u'\t' && text.charAt(i) != u'\u00A0' &&
                   text.charAt(i) != u'\n')
                ++i;
            result.append(text, start, i - start);
        }
    }
    return trimWhitespace(result);
}

UnicodeString collapseWhitespaceRuns(const UnicodeString& text) {
    // White space is all in the BMP, and a lone surrogate unit is never white
    // space, so testing code units is exact here.
    const int32_t length = text.length();
    UnicodeString result;
    int32_t copied = 0;
    for (int32_t i = 0; i < length;) {
        if (!isWhitespace(text.charAt(i))) {
            ++i;
            continue;
        }
        const int32_t runStart = i;
        int32_t lineFeeds = 0;
        for (; i < length && isWhitespace(text.charAt(i)); ++i)
            if (text.charAt(i) == u'\n') ++lineFeeds;
        if (i - runStart < 2) continue;
        result.append(text, copied, runStart - copied);
        if (lineFeeds == 0)
            result.append(u' ');
        else
            for (int32_t n = 0; n < lineFeeds; ++n) result.append(u'\n');
        copied = i;
    }
    if (copied == 0) return text;
    return result.append(text, copied, length - copied);
}

std::optional<UnicodeString> textAfterLastMatch(const Regex& pattern, const UnicodeString& text,
                                                bool requirePriorText) {
    if (!pattern.mayMatch(text)) return std::nullopt;
    auto matcher = pattern.matcher(text);
    if (!matcher) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    int32_t start = -1;
    int32_t end = -1;
    while (matcher->find()) {
        start = matcher->start(status);
        end = matcher->end(status);
    }
    if (U_FAILURE(status) || start < 0) return std::nullopt;

    if (requirePriorText) {
        const UnicodeString prior = trimWhitespaceAndPunctuation(UnicodeString(text, 0, start));
        if (prior.isEmpty()) return std::nullopt;
    }
    if (end >= text.length()) return std::nullopt;
    UnicodeString rest = trimWhitespaceAndPunctuation(UnicodeString(text, end));
    if (graphemeCount(rest, 2) < 2) return std::nullopt;
    return rest;
}

UnicodeString applySelfCorrections(const UnicodeString& text) {
    static const Regex retraction(
        uR"((?i)\b(?:take that back|i take that back|scratch that|ignore that|discard that|forget that|remove that)\b[,:;\-\s]*)",
        0, {u"take that back", u"scratch that", u"ignore that", u"discard that", u"forget that", u"remove that"});
    static const Regex rephrasing(
        uR"((?i)\b(?:actually i meant|i didn't mean|i did not mean|what i meant was|no[, ]+i mean|sorry[, ]+i mean|no[, ]+actually)\b[,:;\-\s]*)",
        0, {u"actually", u"i didn't mean", u"i did not mean", u"i mean"});
    static const Regex plainIMean(uR"((?i)\bi mean\b[,:;\-\s]*)", 0, {u"i mean"});

    if (auto kept = textAfterLastMatch(retraction, text, false)) return *kept;
    if (auto kept = textAfterLastMatch(rephrasing, text, false)) return *kept;
    if (auto kept = textAfterLastMatch(plainIMean, text, true)) return *kept;
    return text;
}

UnicodeString removeRecognizerMarkers(const UnicodeString& text) {
    static const Regex markers(
        uR"((?i)(?:\s|^)(?:\[\s*blank[_ ]audio\s*\]|\(\s*blank[_ ]audio\s*\)|<\|nospeech\|>)(?=\s|$))", 0,
        {u"blank", u"<|nospeech|>"});
    return markers.replaceAllLiteral(text, u" ");
}

UnicodeString replaceSpokenEtCetera(const UnicodeString& text) {
    static const Regex twoWords(uR"((?i)\bet cetera\b)", 0, {u"et cetera"});
    static const Regex oneWord(uR"((?i)\betcetera\b)", 0, {u"etcetera"});
    return oneWord.replaceAllLiteral(twoWords.replaceAllLiteral(text, u"etc."), u"etc.");
}

UnicodeString normalizePunctuationSpacing(const UnicodeString& text) {
    // No white space before , . ; : ! ? -- "\s+([,.;:!?])". Written so that
    // only the start of a white-space run tries to match, and without
    // backtracking: otherwise a long run of white space that is not followed by
    // a mark costs time quadratic in its length. It matches the same runs.
    static const Regex spaceBeforeMark(uR"((?<!\s)\s++([,.;:!?]))");
    static const Regex missingSpaceAfterMark(uR"(([,;:!?])([^\s\d,.;:!?]))");
    static const Regex missingSpaceAfterStop(uR"((?<!\d)\.([^\s\d,.;:!?]))");
    static const Regex spacedEtc(uR"(\betc\s*\.)", UREGEX_CASE_INSENSITIVE, {u"etc"});

    UnicodeString result = spaceBeforeMark.replaceAll(text, u"$1");
    result = missingSpaceAfterMark.replaceAll(result, u"$1 $2");
    result = missingSpaceAfterStop.replaceAll(result, u". $1");
    result = spacedEtc.replaceAllLiteral(result, u"etc.");
    return trimWhitespace(collapseWhitespaceRuns(result));
}

UnicodeString removeConversationalLeadIns(const UnicodeString& text) {
    static const Regex openingWord(uR"((?i)^\s*((also|and)\s+)?(yeah|yep|okay|ok|right|so|well)\b[,\s]*)");
    static const Regex openingJoiner(uR"((?i)^\s*(also|and)\b[,\s]+)");
    UnicodeString result = openingWord.replaceAllLiteral(text, u"");
    result = openingJoiner.replaceAllLiteral(result, u"");
    return trimWhitespace(collapseWhitespaceRuns(result));
}

UnicodeString removeFillers(const UnicodeString& text) {
    // Case-sensitive on purpose: a capitalised "Um" or "Ah" may be a name.
    static const Regex hesitations(uR"(\b(um|uh|erm|ah|hmm)\b,?\s*)", 0, {u"um", u"uh", u"erm", u"ah", u"hmm"});
    static const Regex hedges(uR"(\b(kind of|sort of|you know|you know what i mean)\b,?\s*)",
                              UREGEX_CASE_INSENSITIVE, {u"kind of", u"sort of", u"you know"});
    UnicodeString result = hesitations.replaceAllLiteral(text, u"");
    result = hedges.replaceAllLiteral(result, u"");
    return collapseWhitespaceRuns(result);
}

std::vector<UnicodeString> spaceSeparatedWords(const UnicodeString& text) {
    std::vector<UnicodeString> words;
    const int32_t length = text.length();
    for (int32_t start = 0; start < length;) {
        int32_t end = text.indexOf(u' ', start);
        if (end < 0) end = length;
        if (end > start) words.emplace_back(text, start, end - start);
        start = end + 1;
    }
    return words;
}

namespace {

UnicodeString joinedWithSpaces(std::vector<UnicodeString>::const_iterator first,
                               std::vector<UnicodeString>::const_iterator last) {
    UnicodeString joined;
    for (auto word = first; word != last; ++word) {
        if (word != first) joined.append(u' ');
        joined.append(*word);
    }
    return joined;
}

// Similarity of two lists of already normalised words; the lengths used are
// the lists' own (words that normalise to nothing still count there).
double similarityOfNormalized(const std::vector<const UnicodeString*>& left,
                              const std::vector<const UnicodeString*>& right) {
    if (left.empty() || right.empty()) return 0.0;
    std::vector<bool> taken(right.size(), false);
    std::size_t matches = 0;
    for (const UnicodeString* word : left) {
        if (word->isEmpty()) continue;
        for (std::size_t j = 0; j < right.size(); ++j) {
            if (!taken[j] && *right[j] == *word) {
                taken[j] = true;
                ++matches;
                break;
            }
        }
    }
    return static_cast<double>(matches) / static_cast<double>(std::max(left.size(), right.size()));
}

}  // namespace

UnicodeString normalizedWord(const UnicodeString& word) {
    return composed(trimmed(lowerCased(word), [](UChar32 c) { return !isAlphanumeric(c); }));
}

double revisionSimilarity(const std::vector<UnicodeString>& left, const std::vector<UnicodeString>& right) {
    std::vector<UnicodeString> leftNormalized;
    std::vector<UnicodeString> rightNormalized;
    for (const auto& word : left) leftNormalized.push_back(normalizedWord(word));
    for (const auto& word : right) rightNormalized.push_back(normalizedWord(word));
    std::vector<const UnicodeString*> leftWords;
    std::vector<const UnicodeString*> rightWords;
    for (const auto& word : leftNormalized) leftWords.push_back(&word);
    for (const auto& word : rightNormalized) rightWords.push_back(&word);
    return similarityOfNormalized(leftWords, rightWords);
}

UnicodeString collapseRepeatedClauseRevisions(const UnicodeString& text) {
    constexpr std::size_t minimumWords = 8;
    constexpr std::size_t longestRestart = 24;
    constexpr std::size_t minimumRest = 4;
    constexpr double threshold = 0.72;

    const std::vector<UnicodeString> words = spaceSeparatedWords(text);
    const std::size_t count = words.size();
    if (count < minimumWords) return text;

    // Only the first 2 * longestRestart words are ever compared; normalise on demand.
    std::vector<std::optional<UnicodeString>> normalized(std::min(count, 2 * longestRestart));
    auto norm = [&](std::size_t i) -> const UnicodeString& {
        if (!normalized[i]) normalized[i] = normalizedWord(words[i]);
        return *normalized[i];
    };

    for (std::size_t k = 2; k <= longestRestart && k <= count - minimumRest; ++k) {
        if (norm(0) != norm(k) || norm(1) != norm(k + 1)) continue;
        const std::size_t restCompared = std::min(k, count - k);
        std::vector<const UnicodeString*> first;
        std::vector<const UnicodeString*> rest;
        for (std::size_t i = 0; i < k; ++i) first.push_back(&norm(i));
        for (std::size_t i = k; i < k + restCompared; ++i) rest.push_back(&norm(i));
        if (similarityOfNormalized(first, rest) >= threshold) return joinedWithSpaces(words.begin() + k, words.end());
    }
    return text;
}

UnicodeString removeRepeatedWords(const UnicodeString& text) {
    const std::vector<UnicodeString> words = spaceSeparatedWords(text);
    UnicodeString result;
    UnicodeString previousKey;
    bool first = true;
    for (const auto& word : words) {
        UnicodeString key = composed(trimmed(lowerCased(word), isPunctuation));
        const bool repeat = !key.isEmpty() && key == previousKey;
        previousKey = std::move(key);
        if (repeat) continue;
        if (!first) result.append(u' ');
        result.append(word);
        first = false;
    }
    return result;
}

}  // namespace tavlo::TextPipeline::detail
