#include "text/IcuText.h"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>

namespace tavlo::TextPipeline::detail {

UnicodeString fromUtf8(std::string_view text) {
    return UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string toUtf8(const UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

bool hasNonWhitespace(const UnicodeString& text, int32_t start, int32_t limit) {
    for (int32_t i = start; i < limit;) {
        const UChar32 c = text.char32At(i);
        if (!isWhitespace(c)) return true;
        i += U16_LENGTH(c);
    }
    return false;
}

namespace {

bool isAscii(char16_t unit) { return unit < 0x80; }

bool allAscii(const UnicodeString& text) {
    const char16_t* units = text.getBuffer();
    for (int32_t i = 0; i < text.length(); ++i)
        if (!isAscii(units[i])) return false;
    return true;
}

// ASCII text maps letter by letter; this gives the same result as the full
// mapping without its set-up cost.
UnicodeString asciiMapped(const UnicodeString& text, char16_t from, char16_t to) {
    UnicodeString copy(text);
    char16_t* units = copy.getBuffer(-1);
    if (!units) return text;
    const int32_t length = text.length();
    for (int32_t i = 0; i < length; ++i)
        if (units[i] >= from && units[i] <= to) units[i] = static_cast<char16_t>(units[i] ^ 0x20);
    copy.releaseBuffer(length);
    return copy;
}

}  // namespace

UnicodeString lowerCased(const UnicodeString& text) {
    if (allAscii(text)) return asciiMapped(text, u'A', u'Z');
    UnicodeString copy(text);
    copy.toLower(icu::Locale::getRoot());
    return copy;
}

UnicodeString upperCased(const UnicodeString& text) {
    if (allAscii(text)) return asciiMapped(text, u'a', u'z');
    UnicodeString copy(text);
    copy.toUpper(icu::Locale::getRoot());
    return copy;
}

UnicodeString composed(const UnicodeString& text) {
    UErrorCode status = U_ZERO_ERROR;
    static const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (!nfc) return text;
    status = U_ZERO_ERROR;
    if (nfc->quickCheck(text, status) == UNORM_YES && U_SUCCESS(status)) return text;
    status = U_ZERO_ERROR;
    UnicodeString result = nfc->normalize(text, status);
    return U_SUCCESS(status) ? result : text;
}

// ---- grapheme clusters ----

namespace {

struct ThreadBreaks {
    std::unique_ptr<icu::BreakIterator> iterator;
    // Which cursor last gave the iterator its text, so that a cursor whose
    // text was replaced by another cursor sets it again.
    uint64_t owner = 0;
    uint64_t lastCursor = 0;
};

ThreadBreaks& threadBreaks() {
    thread_local ThreadBreaks breaks = [] {
        ThreadBreaks made;
        UErrorCode status = U_ZERO_ERROR;
        made.iterator.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) made.iterator.reset();
        return made;
    }();
    return breaks;
}

}  // namespace

GraphemeCursor::GraphemeCursor(const UnicodeString& text)
    : text_(text), iterator_(threadBreaks().iterator.get()), id_(++threadBreaks().lastCursor) {}

icu::BreakIterator* GraphemeCursor::boundIterator() {
    ThreadBreaks& breaks = threadBreaks();
    if (iterator_ && breaks.owner != id_) {
        iterator_->setText(text_);
        breaks.owner = id_;
    }
    return iterator_;
}

int32_t GraphemeCursor::next(int32_t start) {
    const int32_t length = text_.length();
    if (start >= length) return length;
    // Two ASCII characters are always separate clusters, except CR LF; this
    // keeps plain text off the (much slower) rule-based iterator.
    const char16_t unit = text_.charAt(start);
    if (isAscii(unit) && unit != u'\r' && (start + 1 == length || isAscii(text_.charAt(start + 1))))
        return start + 1;
    if (icu::BreakIterator* iterator = boundIterator()) {
        const int32_t limit = iterator->following(start);
        return limit == icu::BreakIterator::DONE ? length : limit;
    }
    return start + U16_LENGTH(text_.char32At(start));
}

int32_t GraphemeCursor::previous(int32_t limit) {
    if (limit <= 0) return 0;
    const char16_t unit = text_.charAt(limit - 1);
    if (isAscii(unit) && unit != u'\n' && (limit == 1 || isAscii(text_.charAt(limit - 2)))) return limit - 1;
    if (icu::BreakIterator* iterator = boundIterator()) {
        const int32_t start = iterator->preceding(limit);
        return start == icu::BreakIterator::DONE ? 0 : start;
    }
    return limit - U16_LENGTH(text_.char32At(limit - 1));
}

int32_t graphemeCount(const UnicodeString& text, int32_t atMost) {
    GraphemeCursor cursor(text);
    int32_t count = 0;
    for (int32_t start = 0; start < text.length() && count < atMost; ++count) start = cursor.next(start);
    return count;
}

int32_t graphemeOffset(const UnicodeString& text, int32_t count) {
    GraphemeCursor cursor(text);
    int32_t offset = 0;
    for (int32_t i = 0; i < count && offset < text.length(); ++i) offset = cursor.next(offset);
    return offset;
}

int32_t lastGraphemeStart(const UnicodeString& text) {
    GraphemeCursor cursor(text);
    return cursor.previous(text.length());
}

// ---- regular expressions ----

Regex::Regex(const char16_t* pattern, uint32_t flags) : Regex(UnicodeString(pattern), flags) {}

Regex::Regex(const UnicodeString& pattern, uint32_t flags) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    pattern_.reset(icu::RegexPattern::compile(pattern, flags, parseError, status));
    if (U_FAILURE(status)) pattern_.reset();
}

std::unique_ptr<icu::RegexMatcher> Regex::matcher(const UnicodeString& input) const {
    if (!pattern_) return nullptr;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> made(pattern_->matcher(input, status));
    if (U_FAILURE(status)) return nullptr;
    return made;
}

UnicodeString Regex::replaceAll(const UnicodeString& text, const UnicodeString& replacement) const {
    auto m = matcher(text);
    if (!m) return text;
    UErrorCode status = U_ZERO_ERROR;
    UnicodeString result = m->replaceAll(replacement, status);
    return U_SUCCESS(status) ? result : text;
}

UnicodeString Regex::replaceAllLiteral(const UnicodeString& text, const UnicodeString& replacement) const {
    auto m = matcher(text);
    if (!m) return text;
    UErrorCode status = U_ZERO_ERROR;
    UnicodeString result;
    int32_t copied = 0;
    bool replaced = false;
    while (m->find()) {
        const int32_t start = m->start(status);
        const int32_t end = m->end(status);
        if (U_FAILURE(status)) return text;
        result.append(text, copied, start - copied).append(replacement);
        copied = end;
        replaced = true;
    }
    if (!replaced) return text;
    return result.append(text, copied, text.length() - copied);
}

UnicodeString escapedPattern(const UnicodeString& literal) {
    UnicodeString escaped;
    for (int32_t i = 0; i < literal.length(); ++i) {
        const char16_t unit = literal.charAt(i);
        const bool plain = unit >= 0x80 || unit == u' ' || (unit >= u'0' && unit <= u'9') ||
                           (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z');
        if (!plain) escaped.append(u'\\');
        escaped.append(unit);
    }
    return escaped;
}

}  // namespace tavlo::TextPipeline::detail
