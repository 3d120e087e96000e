#include "engine/whisper/WhisperOutput.h"

#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>

#include <memory>
#include <vector>

namespace tavlo {
namespace {

std::unique_ptr<icu::RegexPattern> compile(const char* pattern) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(pattern), parseError, status));
    if (U_FAILURE(status)) std::abort();  // the patterns are fixed; a failure is a build mistake
    return compiled;
}

icu::UnicodeString replaceAll(const icu::RegexPattern& pattern, const icu::UnicodeString& text) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(text, status));
    icu::UnicodeString result = matcher->replaceAll(icu::UnicodeString(u" "), status);
    return U_SUCCESS(status) ? result : text;
}

bool isLineBreak(UChar32 c) { return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029; }

bool isWhiteSpaceOrLineBreak(UChar32 c) {
    if (c == 0x09 || isLineBreak(c)) return true;
    const auto type = u_charType(c);
    return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

icu::UnicodeString trimmed(const icu::UnicodeString& text) {
    int32_t start = 0;
    int32_t end = text.length();
    while (start < end && isWhiteSpaceOrLineBreak(text.char32At(start))) start = text.moveIndex32(start, 1);
    while (end > start) {
        const int32_t previous = text.moveIndex32(end, -1);
        if (!isWhiteSpaceOrLineBreak(text.char32At(previous))) break;
        end = previous;
    }
    return text.tempSubStringBetween(start, end);
}

// What Whisper writes inside its marks: a few words of letters ("Music",
// "BLANK_AUDIO", "upbeat music", "speaking foreign language"), never quotes,
// digits or other signs, so bracketed text of another kind stays.
#define MARK_DESCRIPTION "\\s*\\p{L}[\\p{L}\\s_'\\u2019-]{0,58}"

bool matchesWhole(const icu::RegexPattern& pattern, const icu::UnicodeString& text) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(text, status));
    return U_SUCCESS(status) && matcher->matches(status) && U_SUCCESS(status);
}

// Whisper describes sounds it hears instead of speech: "[Music]", "(upbeat
// music)", "[ Silence ]", "*sigh*", "♪". A segment made only of such
// descriptions holds no words. Square brackets never come from speech, so a
// bracketed description standing alone goes anywhere; parentheses and
// asterisks can be dictated, so they go only when the whole segment is marks.
bool isOnlyNonSpeechMarks(const icu::UnicodeString& line) {
    static const auto marksOnly = compile(
        "(?:\\s*(?:\\(" MARK_DESCRIPTION "\\)|\\[" MARK_DESCRIPTION "\\]|\\*" MARK_DESCRIPTION "\\*|[\\u266a\\u266b]+))+\\s*");
    return matchesWhole(*marksOnly, line);
}

// What Whisper is known to invent on silence or noise when nothing else was
// said: a lone "you" and the closing lines of online videos. They are
// dropped only when they are the whole transcript.
bool isSilenceInvention(const icu::UnicodeString& text) {
    static const auto inventions = compile(
        "(?i)\\s*(?:you|thanks for watching|thank you for watching|thank you so much for watching)[.!]?\\s*");
    return matchesWhole(*inventions, text);
}

}  // namespace

std::string normalizeWhisperOutput(std::string_view output) {
    static const auto markers = compile(
        "(?i)(?:\\s|^)(?:\\[\\s*blank[_ ]audio\\s*\\]|\\(\\s*blank[_ ]audio\\s*\\)|<\\|nospeech\\|>|\\[" MARK_DESCRIPTION "\\])(?=\\s|$)");
    static const auto spaceRuns = compile("\\s{2,}");

    const icu::UnicodeString withoutMarkers =
        replaceAll(*markers, icu::UnicodeString::fromUTF8(icu::StringPiece(output.data(), output.size())));

    icu::UnicodeString joined;
    int32_t lineStart = 0;
    auto takeLine = [&](int32_t end) {
        const icu::UnicodeString line = trimmed(withoutMarkers.tempSubStringBetween(lineStart, end));
        if (line.isEmpty() || isOnlyNonSpeechMarks(line)) return;
        if (!joined.isEmpty()) joined.append(u' ');
        joined.append(line);
    };
    for (int32_t i = 0; i < withoutMarkers.length(); i = withoutMarkers.moveIndex32(i, 1)) {
        if (isLineBreak(withoutMarkers.char32At(i))) {
            takeLine(i);
            lineStart = i + 1;
        }
    }
    takeLine(withoutMarkers.length());

    // trimmed() aliases its argument, which must outlive the result.
    const icu::UnicodeString collapsed = replaceAll(*spaceRuns, joined);
    const icu::UnicodeString text = trimmed(collapsed);
    if (isOnlyNonSpeechMarks(text) || isSilenceInvention(text)) return {};
    std::string result;
    text.toUTF8String(result);
    return result;
}

std::string utf8TextOrEmpty(std::string bytes) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    if (status == U_INVALID_CHAR_FOUND || status == U_ILLEGAL_ARGUMENT_ERROR) return {};
    return bytes;
}

namespace {

constexpr std::size_t kErrorMessageLimit = 300;

std::string_view trimmedLine(std::string_view line) {
    const auto first = line.find_first_not_of(" \t\r\f\v");
    if (first == std::string_view::npos) return {};
    const auto last = line.find_last_not_of(" \t\r\f\v");
    return line.substr(first, last - first + 1);
}

bool beginsWithError(std::string_view line) {
    static constexpr std::string_view kError = "error";
    if (line.size() < kError.size()) return false;
    for (std::size_t i = 0; i < kError.size(); ++i)
        if ((line[i] | 0x20) != kError[i]) return false;
    return true;
}

// Cut at a character boundary, so the message stays valid UTF-8.
std::string bounded(std::string text) {
    if (text.size() <= kErrorMessageLimit) return text;
    std::size_t cut = kErrorMessageLimit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
    return text + "...";
}

}  // namespace

std::string whisperCliErrorMessage(std::string_view standardError) {
    std::string errors;
    std::string_view lastLine;
    while (!standardError.empty()) {
        const auto end = standardError.find('\n');
        const std::string_view line = trimmedLine(standardError.substr(0, end));
        standardError = end == std::string_view::npos ? std::string_view() : standardError.substr(end + 1);
        if (line.empty()) continue;
        lastLine = line;
        if (!beginsWithError(line)) continue;
        if (!errors.empty()) errors += ' ';
        errors += line;
        if (errors.size() > kErrorMessageLimit) break;
    }
    return bounded(errors.empty() ? std::string(lastLine) : errors);
}

}  // namespace tavlo
