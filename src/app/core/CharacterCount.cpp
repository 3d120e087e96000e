#include "app/core/CharacterCount.h"

#include <memory>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace tavlo {

std::size_t characterCount(std::string_view text) {
    if (text.empty()) return 0;
    const icu::UnicodeString unicode =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> clusters(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) return static_cast<std::size_t>(unicode.countChar32());
    clusters->setText(unicode);
    std::size_t count = 0;
    clusters->first();
    while (clusters->next() != icu::BreakIterator::DONE) ++count;
    return count;
}

}  // namespace tavlo
