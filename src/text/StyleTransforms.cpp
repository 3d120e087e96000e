#include "text/StyleTransforms.h"

#include <algorithm>
#include <array>
#include <vector>

#include "text/Cleanup.h"

namespace tavlo::TextPipeline::detail {

UnicodeString capitalizeSentences(const UnicodeString& text) {
    UnicodeString result;
    int32_t copied = 0;  // text before this is in result
    bool capitalizeNext = true;
    forEachGrapheme(text, [&](int32_t start, int32_t limit) {
        const UChar32 first = text.char32At(start);
        if (capitalizeNext && isLetter(first)) {
            result.append(text, copied, start - copied).append(upperCased(UnicodeString(text, start, limit - start)));
            copied = limit;
            capitalizeNext = false;
            return;
        }
        const bool single = limit - start == 1;
        if (single && (first == u'.' || first == u'!' || first == u'?' || first == u'\n'))
            capitalizeNext = true;
        else if (!isWhitespace(first))
            capitalizeNext = false;
    });
    return result.append(text, copied, text.length() - copied);
}

bool looksLikeQuestion(const UnicodeString& text) {
    static constexpr std::array<const char16_t*, 22> questionWords{
        u"who", u"what", u"when", u"where", u"why",   u"how",  u"is",     u"are",   u"am",  u"was",  u"were",
        u"do",  u"does", u"did",  u"can",   u"could", u"will", u"would", u"should", u"has", u"have", u"had"};
    // Only the first word matters; its end is wherever a non-letter follows.
    const UnicodeString lower = lowerCased(text);
    int32_t start = 0;
    while (start < lower.length() && !isLetter(lower.char32At(start))) start += U16_LENGTH(lower.char32At(start));
    int32_t end = start;
    while (end < lower.length() && isLetter(lower.char32At(end))) end += U16_LENGTH(lower.char32At(end));
    if (end == start) return false;
    const UnicodeString firstWord(lower, start, end - start);
    return std::any_of(questionWords.begin(), questionWords.end(),
                       [&](const char16_t* word) { return firstWord == UnicodeString(word); });
}

UnicodeString finishSentence(const UnicodeString& text) {
    UnicodeString result = trimWhitespace(text);
    if (result.isEmpty() || result.indexOf(u'\n') >= 0) return result;
    const int32_t lastStart = lastGraphemeStart(result);
    if (result.length() - lastStart == 1) {
        static const UnicodeString closingMarks(u".!?:;)]}");
        if (closingMarks.indexOf(result.charAt(lastStart)) >= 0) return result;
    }
    // A sentence left open by a comma (a stutter "Go, go" or a spoken "comma"
    // at the end) is closed in its place: "Go." rather than "Go,.".
    int32_t end = result.length();
    while (end > 0 && (result.charAt(end - 1) == u',' || result.charAt(end - 1) == u';' ||
                       result.charAt(end - 1) == u':' || isWhitespace(result.charAt(end - 1))))
        --end;
    if (end == 0) return result;
    result.truncate(end);
    return result.append(looksLikeQuestion(result) ? u'?' : u'.');
}

UnicodeString makeList(const UnicodeString& text) {
    static const Regex andThen(u" and then ", UREGEX_CASE_INSENSITIVE | UREGEX_LITERAL, {u" and then "});
    static const Regex then(u" then ", UREGEX_CASE_INSENSITIVE | UREGEX_LITERAL, {u" then "});
    const UnicodeString sentences = then.replaceAllLiteral(andThen.replaceAllLiteral(text, u". "), u". ");

    UnicodeString list;
    int32_t start = 0;
    const int32_t length = sentences.length();
    while (start <= length) {
        int32_t end = start;
        while (end < length) {
            const char16_t unit = sentences.charAt(end);
            if (unit == u'.' || unit == u';' || unit == u'\n') break;
            ++end;
        }
        const UnicodeString item = normalizeWhitespace(UnicodeString(sentences, start, end - start));
        if (!item.isEmpty()) {
            if (!list.isEmpty()) list.append(u'\n');
            const int32_t firstLimit = graphemeOffset(item, 1);
            list.append(u"- ")
                .append(upperCased(UnicodeString(item, 0, firstLimit)))
                .append(item, firstLimit, item.length() - firstLimit);
        }
        start = end + 1;
    }
    return list.isEmpty() ? text : list;
}

UnicodeString applyStyle(const UnicodeString& text, TransformStyle style) {
    static const Regex hey(uR"((?i)\bhey\b)", 0, {u"hey"});
    static const Regex thanks(uR"((?i)\bthanks\b)", 0, {u"thanks"});
    static const Regex iThink(uR"((?i)\bi think\b)", 0, {u"i think"});
    static const Regex hello(uR"((?i)\bhello\b)", 0, {u"hello"});

    switch (style) {
    case TransformStyle::verbatim:
        return trimWhitespace(text);
    case TransformStyle::clean:
        return finishSentence(capitalizeSentences(text));
    case TransformStyle::professional: {
        UnicodeString result = capitalizeSentences(text);
        result = hey.replaceAllLiteral(result, u"Hello");
        result = thanks.replaceAllLiteral(result, u"Thank you");
        result = iThink.replaceAllLiteral(result, u"I think");
        return finishSentence(result);
    }
    case TransformStyle::casual:
        return finishSentence(hello.replaceAllLiteral(capitalizeSentences(text), u"Hey"));
    case TransformStyle::list:
        return makeList(text);
    }
    return text;
}

}  // namespace tavlo::TextPipeline::detail
