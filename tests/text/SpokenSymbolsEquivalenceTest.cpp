// replaceDictationPhrases finds each phrase with a pattern that opens with the
// phrase and tests the character before it by hand, skips phrases the text
// cannot hold, and builds its result left to right. This checks it against
// the rule as worded, implemented the slow and direct way: the pattern
// "(?i)(^|\s)PHRASE(?=\s|$|[.,!?;:])", matches handled from the last to the
// first, the next word found with "^\s*([A-Za-z]+)". Inputs are generated from
// the phrases' words, blocking words, look-alike letters and every kind of
// separator, with a fixed seed.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include <unicode/regex.h>

#include "text/IcuText.h"
#include "text/SpokenCommands.h"

namespace tavlo::test {
namespace {

namespace detail = TextPipeline::detail;
using detail::UnicodeString;

std::unique_ptr<icu::RegexPattern> compile(const UnicodeString& pattern) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(pattern, 0, status));
    EXPECT_TRUE(U_SUCCESS(status));
    return compiled;
}

UnicodeString replaceAsWorded(const UnicodeString& text) {
    static const auto nextWordPattern = compile(uR"(^\s*([A-Za-z]+))");
    static const auto patterns = [] {
        std::vector<std::unique_ptr<icu::RegexPattern>> made;
        for (const detail::SpokenSymbol& symbol : detail::spokenSymbols()) {
            UnicodeString source(u"(?i)(^|\\s)");
            source.append(detail::escapedPattern(symbol.phrase)).append(u"(?=\\s|$|[.,!?;:])");
            made.push_back(compile(source));
        }
        return made;
    }();
    UnicodeString current = text;
    for (std::size_t entryIndex = 0; entryIndex < patterns.size(); ++entryIndex) {
        const detail::SpokenSymbol& symbol = detail::spokenSymbols()[entryIndex];
        const auto& pattern = patterns[entryIndex];
        const UnicodeString entry = current;
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(entry, status));
        struct Found {
            int32_t phraseStart, end;
        };
        std::vector<Found> found;
        while (matcher->find()) found.push_back({matcher->end(1, status), matcher->end(status)});

        UnicodeString working = entry;
        for (auto match = found.rbegin(); match != found.rend(); ++match) {
            if (!symbol.allowedFirst && detail::trimWhitespace(UnicodeString(entry, 0, match->phraseStart)).isEmpty())
                continue;
            if (match->end < entry.length()) {
                const UnicodeString after(entry, match->end);
                std::unique_ptr<icu::RegexMatcher> next(nextWordPattern->matcher(after, status));
                if (next->find()) {
                    UnicodeString word = next->group(1, status);
                    word.toLower(icu::Locale::getRoot());
                    bool blocked = false;
                    for (const char16_t* blocking : symbol.blockingWords) blocked |= word == UnicodeString(blocking);
                    if (blocked) continue;
                }
            }
            working.replace(match->phraseStart, match->end - match->phraseStart, UnicodeString(symbol.replacement));
        }
        current = working;
    }
    return current;
}

TEST(SpokenSymbols, AgreesWithTheRuleAsWorded) {
    const std::vector<std::string> words = {
        "new",   "paragraph", "line",    "open",        "close",  "quote",    "single",    "parenthesis",
        "bracket", "question", "mark",   "marks",       "exclamation", "point", "comma",  "period",
        "full",  "stop",      "colon",   "semicolon",   "dash",   "slash",    "at",        "sign",
        "unquote", "icon",    "symbol",  "separated",   "of",     "drama",    "cam",       "command",
        "insertion", "Comma", "PERIOD",  "New Line",    "commas", "xcomma",   "periodical", "e\u0301",
        "\u212Aey",  "\u017Flash", "da\u017Fh", "ful\u00DFtop", "\U0001F44D", "9",
    };
    const std::vector<std::string> separators = {
        " ", " ", " ", "  ", "\t", "\n", "\u2003", "\u00A0", "\r\n", "", ",", ".", "?", "!", ";", ":", "-", " (",
    };
    std::mt19937 random(20240611);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int count = 1 + static_cast<int>(random() % 7);
        if (random() % 4 == 0) text += separators[random() % separators.size()];
        for (int i = 0; i < count; ++i) {
            text += words[random() % words.size()];
            text += separators[random() % separators.size()];
        }
        const UnicodeString input = detail::fromUtf8(text);
        ASSERT_EQ(detail::toUtf8(detail::replaceDictationPhrases(input)), detail::toUtf8(replaceAsWorded(input)))
            << "input: \"" << text << "\"";
    }
}

}  // namespace
}  // namespace tavlo::test
