#include "text/IcuText.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <utility>
#include <vector>

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

namespace {

bool isAscii(char16_t unit) { return unit < 0x80; }

bool allAscii(const UnicodeString& text) {
    const char16_t* units = text.getBuffer();
    for (int32_t i = 0; i < text.length(); ++i)
        if (!isAscii(units[i])) return false;
    return true;
}

char16_t asciiLower(char16_t unit) { return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 32) : unit; }

// Whether `text` holds `literal` (lower case) in any ASCII case; notes in
// `sawNonAscii` whether the text holds anything but ASCII.
bool containsIgnoringAsciiCase(const UnicodeString& text, const UnicodeString& literal, bool& sawNonAscii) {
    const int32_t length = text.length();
    const int32_t needed = literal.length();
    const char16_t* units = text.getBuffer();
    const char16_t* wanted = literal.getBuffer();
    if (needed == 0) return true;
    for (int32_t i = 0; i < length; ++i) {
        if (!isAscii(units[i])) sawNonAscii = true;
        if (asciiLower(units[i]) != wanted[0] || i + needed > length) continue;
        int32_t j = 1;
        while (j < needed && asciiLower(units[i + j]) == wanted[j]) ++j;
        if (j == needed) return true;
    }
    return false;
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

UnicodeString caseFolded(const UnicodeString& text) {
    if (allAscii(text)) return asciiMapped(text, u'A', u'Z');
    UnicodeString copy(text);
    copy.foldCase(U_FOLD_CASE_DEFAULT);
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

namespace {

std::atomic<std::size_t> nextRegexId{0};

struct MatcherSlot {
    std::unique_ptr<icu::RegexMatcher> matcher;
    bool lent = false;
};

// Indexed by Regex id; slots are never moved, so a lent slot stays put while
// the table grows.
std::vector<std::unique_ptr<MatcherSlot>>& threadMatcherSlots() {
    thread_local std::vector<std::unique_ptr<MatcherSlot>> slots;
    return slots;
}

}  // namespace

Regex::Matcher::Matcher(Matcher&& other) noexcept
    : matcher_(std::exchange(other.matcher_, nullptr)),
      owned_(std::move(other.owned_)),
      lent_(std::exchange(other.lent_, nullptr)) {}

Regex::Matcher& Regex::Matcher::operator=(Matcher&& other) noexcept {
    if (this != &other) {
        if (lent_) *lent_ = false;
        matcher_ = std::exchange(other.matcher_, nullptr);
        owned_ = std::move(other.owned_);
        lent_ = std::exchange(other.lent_, nullptr);
    }
    return *this;
}

Regex::Matcher::~Matcher() {
    if (lent_) *lent_ = false;
}

Regex::Regex(const char16_t* pattern, uint32_t flags) : Regex(UnicodeString(pattern), flags) {}

Regex::Regex(const UnicodeString& pattern, uint32_t flags) : id_(nextRegexId++) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    pattern_.reset(icu::RegexPattern::compile(pattern, flags, parseError, status));
    if (U_FAILURE(status)) pattern_.reset();
}

Regex::Regex(const char16_t* pattern, uint32_t flags, std::initializer_list<const char16_t*> mustContainOneOf)
    : Regex(UnicodeString(pattern), flags) {
    for (const char16_t* literal : mustContainOneOf) mustContainOneOf_.emplace_back(literal);
    ignoresCase_ = (flags & UREGEX_CASE_INSENSITIVE) != 0 || UnicodeString(pattern).startsWith(u"(?i)");
}

bool Regex::mayMatch(const UnicodeString& text) const {
    if (!pattern_) return false;
    if (mustContainOneOf_.empty()) return true;
    if (!ignoresCase_)
        return std::any_of(mustContainOneOf_.begin(), mustContainOneOf_.end(),
                           [&](const UnicodeString& literal) { return text.indexOf(literal) >= 0; });
    // Case-insensitive matching compares full case foldings, so a match in
    // any case shows up as the literal in the folded text. An ASCII literal
    // found in any ASCII case is there too; for ASCII text that search is
    // also the whole answer.
    bool sawNonAscii = false;
    for (const UnicodeString& literal : mustContainOneOf_)
        if (containsIgnoringAsciiCase(text, literal, sawNonAscii)) return true;
    if (!sawNonAscii) return false;
    const UnicodeString folded = caseFolded(text);
    return std::any_of(mustContainOneOf_.begin(), mustContainOneOf_.end(),
                       [&](const UnicodeString& literal) { return folded.indexOf(literal) >= 0; });
}

Regex::Matcher Regex::matcher(const UnicodeString& input) const {
    Matcher lease;
    if (!pattern_) return lease;
    UErrorCode status = U_ZERO_ERROR;
    auto& slots = threadMatcherSlots();
    if (slots.size() <= id_) slots.resize(id_ + 1);
    if (!slots[id_]) slots[id_] = std::make_unique<MatcherSlot>();
    MatcherSlot& slot = *slots[id_];
    if (!slot.lent) {
        if (!slot.matcher) slot.matcher.reset(pattern_->matcher(status));
        if (U_FAILURE(status) || !slot.matcher) {
            slot.matcher.reset();
            return lease;
        }
        slot.matcher->reset(input);
        slot.lent = true;
        lease.matcher_ = slot.matcher.get();
        lease.lent_ = &slot.lent;
        return lease;
    }
    // Already lent on this thread (nested use): an own matcher.
    lease.owned_.reset(pattern_->matcher(input, status));
    if (U_FAILURE(status)) lease.owned_.reset();
    lease.matcher_ = lease.owned_.get();
    return lease;
}

UnicodeString Regex::replaceAll(const UnicodeString& text, const UnicodeString& replacement) const {
    if (!mayMatch(text)) return text;
    auto m = matcher(text);
    if (!m) return text;
    UErrorCode status = U_ZERO_ERROR;
    UnicodeString result = m->replaceAll(replacement, status);
    return U_SUCCESS(status) ? result : text;
}

UnicodeString Regex::replaceAllLiteral(const UnicodeString& text, const UnicodeString& replacement) const {
    if (!mayMatch(text)) return text;
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
