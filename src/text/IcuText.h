#pragma once
// Small ICU helpers shared by the pipeline's stages: conversion at the edges,
// the character classes the stages talk about, trimming, case mapping,
// grapheme clusters and fixed regular expressions compiled once.
//
// Everything works on icu::UnicodeString, so positions are UTF-16 code units,
// which is what the regular-expression engine reports.
#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/brkiter.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace tavlo::TextPipeline::detail {

using icu::UnicodeString;

// UTF-8 in, invalid sequences become U+FFFD.
UnicodeString fromUtf8(std::string_view text);
std::string toUtf8(const UnicodeString& text);

// Character classes. ASCII, by far the most common case, is answered from a
// table (a test checks it against ICU's properties); everything else asks ICU.
namespace classes {
enum : uint8_t { whitespace = 1, punctuation = 2, letter = 4, alphanumeric = 8 };
constexpr std::array<uint8_t, 128> asciiTable = [] {
    std::array<uint8_t, 128> table{};
    for (int c = 9; c <= 13; ++c) table[c] = whitespace;
    table[' '] = whitespace;
    for (char c : std::string_view("!\"#%&'()*,-./:;?@[\\]_{}")) table[static_cast<unsigned char>(c)] = punctuation;
    for (int c = '0'; c <= '9'; ++c) table[c] = alphanumeric;
    for (int c = 'A'; c <= 'Z'; ++c) table[c] = table[c + 32] = letter | alphanumeric;
    return table;
}();
inline bool inClass(UChar32 c, uint8_t mask) { return (asciiTable[c] & mask) != 0; }
}  // namespace classes

// Whitespace and newlines: the White_Space property, which is the same set as
// the separator categories (Z*) plus U+0009-U+000D and U+0085. It is also
// exactly what `\s` matches in an ICU pattern.
inline bool isWhitespace(UChar32 c) {
    return c < 0x80 ? classes::inClass(c, classes::whitespace) : u_isUWhiteSpace(c);
}
// The punctuation categories (P*); symbols such as "$" or "+" are not punctuation.
inline bool isPunctuation(UChar32 c) {
    return c < 0x80 ? classes::inClass(c, classes::punctuation) : (U_GET_GC_MASK(c) & U_GC_P_MASK) != 0;
}
// The letter categories (L*).
inline bool isLetter(UChar32 c) {
    return c < 0x80 ? classes::inClass(c, classes::letter) : (U_GET_GC_MASK(c) & U_GC_L_MASK) != 0;
}
// Letters, marks and numbers (L*, M*, N*).
inline bool isAlphanumeric(UChar32 c) {
    return c < 0x80 ? classes::inClass(c, classes::alphanumeric)
                    : (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}
inline bool isWhitespaceOrPunctuation(UChar32 c) { return isWhitespace(c) || isPunctuation(c); }

// Removes code points matching `drop` from both ends.
template <class Predicate>
UnicodeString trimmed(const UnicodeString& text, Predicate drop) {
    int32_t start = 0;
    int32_t end = text.length();
    while (start < end) {
        const UChar32 c = text.char32At(start);
        if (!drop(c)) break;
        start += U16_LENGTH(c);
    }
    while (end > start) {
        const UChar32 c = text.char32At(end - 1);
        if (!drop(c)) break;
        end -= U16_LENGTH(c);
    }
    if (start == 0 && end == text.length()) return text;
    return UnicodeString(text, start, end - start);
}

inline UnicodeString trimWhitespace(const UnicodeString& text) { return trimmed(text, isWhitespace); }
inline UnicodeString trimWhitespaceAndPunctuation(const UnicodeString& text) {
    return trimmed(text, isWhitespaceOrPunctuation);
}

// Full Unicode case mapping with no locale (the root locale).
UnicodeString lowerCased(const UnicodeString& text);
UnicodeString upperCased(const UnicodeString& text);
// Full case folding, as a case-insensitive pattern compares text. A pattern
// that needs a literal in any case can only match text whose folded form
// contains the folded literal, which makes a cheap test before matching.
UnicodeString caseFolded(const UnicodeString& text);
// Canonical composition (NFC), so that canonically equivalent texts compare equal.
UnicodeString composed(const UnicodeString& text);

// Grapheme clusters (user-perceived characters). Each call sets up a
// per-thread iterator, so the calls are cheap and safe on any thread.
// Number of clusters, counting no further than `atMost`.
int32_t graphemeCount(const UnicodeString& text, int32_t atMost);
// End of the first `count` clusters (the whole text if it has fewer).
int32_t graphemeOffset(const UnicodeString& text, int32_t count);
// Start of the last cluster (0 for empty text).
int32_t lastGraphemeStart(const UnicodeString& text);

// Visits every cluster in order as (start, limit).
template <class Visitor>
void forEachGrapheme(const UnicodeString& text, Visitor&& visit);

// A fixed regular expression, compiled once (keep it in a function-local
// static). A matcher is not safe to share between threads, and building one
// costs more than matching a sentence, so each thread keeps one matcher per
// pattern and lends it out. A pattern that does not compile matches nothing
// and leaves text unchanged.
class Regex {
public:
    // A matcher lent for one use; it goes back to the thread when destroyed.
    class Matcher {
    public:
        Matcher() = default;
        Matcher(Matcher&& other) noexcept;
        Matcher& operator=(Matcher&& other) noexcept;
        Matcher(const Matcher&) = delete;
        Matcher& operator=(const Matcher&) = delete;
        ~Matcher();

        explicit operator bool() const { return matcher_ != nullptr; }
        icu::RegexMatcher* operator->() const { return matcher_; }
        icu::RegexMatcher& operator*() const { return *matcher_; }

    private:
        friend class Regex;
        icu::RegexMatcher* matcher_ = nullptr;
        std::unique_ptr<icu::RegexMatcher> owned_;  // made afresh when the thread's one is lent out
        bool* lent_ = nullptr;
    };

    explicit Regex(const char16_t* pattern, uint32_t flags = 0);
    Regex(const UnicodeString& pattern, uint32_t flags);
    // `mustContainOneOf`: literals, in lower case, of which every match holds
    // at least one (in any case when the pattern ignores case). Text holding
    // none of them is passed over without matching.
    Regex(const char16_t* pattern, uint32_t flags, std::initializer_list<const char16_t*> mustContainOneOf);

    // False when the text cannot hold a match (see mustContainOneOf).
    bool mayMatch(const UnicodeString& text) const;

    // A matcher over `input`, which must outlive it (ICU keeps a reference).
    // Empty when the pattern did not compile.
    Matcher matcher(const UnicodeString& input) const;

    // Replaces every match, left to right; `replacement` may use $1-style groups.
    UnicodeString replaceAll(const UnicodeString& text, const UnicodeString& replacement) const;
    // Replaces every match with `replacement` taken literally.
    UnicodeString replaceAllLiteral(const UnicodeString& text, const UnicodeString& replacement) const;

private:
    std::unique_ptr<icu::RegexPattern> pattern_;
    std::size_t id_ = 0;  // this pattern's matcher slot in every thread
    std::vector<UnicodeString> mustContainOneOf_;
    bool ignoresCase_ = false;
};

// The pattern that matches `literal` exactly (every special character escaped).
UnicodeString escapedPattern(const UnicodeString& literal);

// ---- implementation of the template above ----

// Walks the clusters of one text with the thread's iterator. Plain ASCII is
// handled without the iterator; cursors may be nested (each rebinds the
// iterator to its own text when it needs it).
class GraphemeCursor {
public:
    explicit GraphemeCursor(const UnicodeString& text);
    // End of the cluster that starts at `start` (a cluster boundary).
    int32_t next(int32_t start);
    // Start of the cluster that ends at `limit` (a cluster boundary).
    int32_t previous(int32_t limit);

private:
    icu::BreakIterator* boundIterator();

    const UnicodeString& text_;
    icu::BreakIterator* iterator_;
    uint64_t id_;
};

template <class Visitor>
void forEachGrapheme(const UnicodeString& text, Visitor&& visit) {
    GraphemeCursor cursor(text);
    for (int32_t start = 0; start < text.length();) {
        const int32_t limit = cursor.next(start);
        visit(start, limit);
        start = limit;
    }
}

}  // namespace tavlo::TextPipeline::detail
