#include "text/SpokenCommands.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <vector>

namespace tavlo::TextPipeline::detail {

bool isCancelCommand(const UnicodeString& text) {
    static constexpr std::array<const char16_t*, 4> commands{u"cancel", u"cancel that", u"discard that",
                                                             u"stop listening"};
    const UnicodeString utterance = trimWhitespaceAndPunctuation(lowerCased(text));
    return std::any_of(commands.begin(), commands.end(),
                       [&](const char16_t* command) { return utterance == UnicodeString(command); });
}

bool takePressEnterCommand(UnicodeString& text) {
    struct Command {
        const char16_t* phrase;
        Regex anywhere;  // the phrase itself, any case
    };
    static const std::array<Command, 3> commands{{
        {u"press enter", Regex(u"press enter", UREGEX_CASE_INSENSITIVE | UREGEX_LITERAL)},
        {u"hit enter", Regex(u"hit enter", UREGEX_CASE_INSENSITIVE | UREGEX_LITERAL)},
        {u"send it", Regex(u"send it", UREGEX_CASE_INSENSITIVE | UREGEX_LITERAL)},
    }};

    const UnicodeString ending = trimWhitespaceAndPunctuation(lowerCased(text));
    for (const Command& command : commands) {
        // A plain suffix test, not a word test: "depress enter" counts too.
        if (!ending.endsWith(UnicodeString(command.phrase))) continue;
        // None of the commands can overlap itself, so the last match found
        // left to right is the last occurrence.
        if (auto matcher = command.anywhere.matcher(text)) {
            UErrorCode status = U_ZERO_ERROR;
            int32_t lastStart = -1;
            while (matcher->find()) lastStart = matcher->start(status);
            if (U_SUCCESS(status) && lastStart >= 0)
                text = trimWhitespaceAndPunctuation(UnicodeString(text, 0, lastStart));
        }
        return true;
    }
    return false;
}

std::optional<TransformStyle> styleFromSpokenCommand(UnicodeString& text) {
    struct Command {
        const char16_t* phrase;
        TransformStyle style;
    };
    static constexpr std::array<Command, 8> commands{{
        {u"make this more professional", TransformStyle::professional},
        {u"make this professional", TransformStyle::professional},
        {u"rewrite this professionally", TransformStyle::professional},
        {u"make this casual", TransformStyle::casual},
        {u"turn this into a list", TransformStyle::list},
        {u"turn to list", TransformStyle::list},
        {u"format as a list", TransformStyle::list},
        {u"leave this verbatim", TransformStyle::verbatim},
    }};
    // The commands are short, and lower-casing maps each character on its own
    // (bar the final sigma, which never gives ASCII), so lower-casing an
    // opening stretch of a long text decides the same.
    constexpr int32_t opening = 64;
    const UnicodeString start = lowerCased(UnicodeString(text, 0, opening));
    for (const Command& command : commands) {
        const UnicodeString phrase(command.phrase);
        if (!start.startsWith(phrase)) continue;
        const int32_t cut = graphemeOffset(text, phrase.length());
        text = trimWhitespaceAndPunctuation(UnicodeString(text, cut));
        return command.style;
    }
    return std::nullopt;
}

const std::array<SpokenSymbol, 21>& spokenSymbols() {
    static const std::array<SpokenSymbol, 21> table{{
        {u"new paragraph", u"\n\n", true, {}},
        {u"new line", u"\n", true, {}},
        {u"open quote", u"\"", true, {}},
        {u"close quote", u"\"", true, {}},
        {u"quote", u"\"", false, {u"unquote", u"mark", u"marks"}},
        {u"single quote", u"'", true, {}},
        {u"open parenthesis", u"(", true, {}},
        {u"close parenthesis", u")", true, {}},
        {u"open bracket", u"[", true, {}},
        {u"close bracket", u"]", true, {}},
        {u"question mark", u"?", false, {u"icon", u"symbol"}},
        {u"exclamation mark", u"!", false, {u"icon", u"symbol"}},
        {u"exclamation point", u"!", false, {u"icon", u"symbol"}},
        {u"comma", u",", false, {u"separated", u"delimited", u"splice", u"operator"}},
        {u"period", u".", false, {u"of", u"piece", u"pain", u"drama", u"costume", u"tracking"}},
        {u"full stop", u".", false, {}},
        {u"colon", u":", false, {u"cancer", u"health", u"screening"}},
        {u"semicolon", u";", false, {u"insertion"}},
        {u"dash", u"-", false, {u"board", u"cam", u"camera", u"lane"}},
        {u"slash", u"/", false, {u"command", u"commands", u"fiction", u"mark"}},
        {u"at sign", u"@", true, {}},
    }};
    return table;
}

namespace {

// The phrase, any case, followed by white space, the end of the text or a
// sentence mark. The rule also wants it at the start of the text or after a
// white-space character: "(^|\s)" in front of the pattern. That test is made
// by hand on each match instead (see precededBySpaceOrStart), because a
// pattern that opens with a literal is found many times faster, and no phrase
// can overlap itself, so both ways find the same phrases.
const std::vector<Regex>& spokenSymbolPatterns() {
    static const std::vector<Regex> patterns = [] {
        std::vector<Regex> made;
        for (const SpokenSymbol& symbol : spokenSymbols()) {
            UnicodeString pattern(u"(?i)");
            pattern.append(escapedPattern(symbol.phrase)).append(u"(?=\\s|$|[.,!?;:])");
            made.emplace_back(pattern, 0);
        }
        return made;
    }();
    return patterns;
}

bool precededBySpaceOrStart(const UnicodeString& text, int32_t position) {
    return position == 0 || isWhitespace(text.char32At(position - 1));
}

// The first word after `from`: ASCII letters after optional white space
// (what "^\s*([A-Za-z]+)" finds there), lower-cased.
UnicodeString nextWord(const UnicodeString& text, int32_t from) {
    int32_t i = from;
    while (i < text.length()) {
        const UChar32 c = text.char32At(i);
        if (!isWhitespace(c)) break;
        i += U16_LENGTH(c);
    }
    UnicodeString word;
    for (; i < text.length(); ++i) {
        const char16_t unit = text.charAt(i);
        if (unit >= u'A' && unit <= u'Z')
            word.append(static_cast<char16_t>(unit + 32));
        else if (unit >= u'a' && unit <= u'z')
            word.append(unit);
        else
            break;
    }
    return word;
}

UnicodeString replaceSpokenSymbol(const UnicodeString& entryText, const SpokenSymbol& symbol, const Regex& pattern) {
    auto matcher = pattern.matcher(entryText);
    if (!matcher) return entryText;

    // Anything other than white space before the phrase counts as preceding text.
    int32_t firstVisible = 0;
    while (firstVisible < entryText.length() && isWhitespace(entryText.charAt(firstVisible))) ++firstVisible;

    // Each decision looks only at the entry text, so replacing left to right
    // gives the same text as replacing from the last match back.
    UnicodeString result;
    int32_t copied = 0;
    bool replaced = false;
    UErrorCode status = U_ZERO_ERROR;
    while (matcher->find()) {
        const int32_t phraseStart = matcher->start(status);
        const int32_t phraseEnd = matcher->end(status);
        if (U_FAILURE(status)) return entryText;
        if (!precededBySpaceOrStart(entryText, phraseStart)) continue;
        if (!symbol.allowedFirst && firstVisible >= phraseStart) continue;
        if (phraseEnd < entryText.length() && symbol.blockingWords.size() > 0) {
            const UnicodeString following = nextWord(entryText, phraseEnd);
            if (std::any_of(symbol.blockingWords.begin(), symbol.blockingWords.end(),
                            [&](const char16_t* blocking) { return following == UnicodeString(blocking); }))
                continue;
        }
        result.append(entryText, copied, phraseStart - copied).append(UnicodeString(symbol.replacement));
        copied = phraseEnd;
        replaced = true;
    }
    if (!replaced) return entryText;
    return result.append(entryText, copied, entryText.length() - copied);
}

}  // namespace

UnicodeString replaceDictationPhrases(const UnicodeString& text) {
    const auto& symbols = spokenSymbols();
    const auto& patterns = spokenSymbolPatterns();
    // Most texts hold few of the phrases, so skip the patterns that cannot
    // match. A replacement puts in no letters or spaces, so a phrase absent
    // from the original text cannot appear later; the one folded copy serves
    // every entry.
    const UnicodeString folded = caseFolded(text);
    UnicodeString result(text);
    for (std::size_t i = 0; i < symbols.size(); ++i) {
        if (folded.indexOf(UnicodeString(symbols[i].phrase)) < 0) continue;
        result = replaceSpokenSymbol(result, symbols[i], patterns[i]);
    }
    return result;
}

}  // namespace tavlo::TextPipeline::detail
