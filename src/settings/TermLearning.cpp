#include "settings/TermLearning.h"

#include <memory>

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace tavlo {
namespace {

struct Word {
    icu::UnicodeString text;
    int characters = 0;
    bool hasUppercase = false;
};

}  // namespace

std::vector<std::string> likelyTerms(std::string_view text) {
    const icu::UnicodeString unicode =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> characters(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) return {};
    characters->setText(unicode);

    std::vector<std::string> terms;
    Word word;
    auto finishWord = [&] {
        if (word.characters > 2 && word.hasUppercase) {
            std::string utf8;
            word.text.toUTF8String(utf8);
            terms.push_back(std::move(utf8));
        }
        word = Word{};
    };

    int32_t start = characters->first();
    for (int32_t end = characters->next(); end != icu::BreakIterator::DONE;
         start = end, end = characters->next()) {
        // A character is classified by its first code point; marks that follow
        // belong to it.
        const UChar32 first = unicode.char32At(start);
        const bool partOfWord = u_isalpha(first) || u_isdigit(first) || first == u'-';
        if (!partOfWord) {
            finishWord();
            continue;
        }
        word.text.append(unicode, start, end - start);
        ++word.characters;
        if (u_isupper(first)) word.hasUppercase = true;
    }
    finishWord();
    return terms;
}

}  // namespace tavlo
