#include "text/Snippets.h"

#include <unicode/coll.h>
#include <unicode/stsearch.h>
#include <unicode/tblcoll.h>

namespace tavlo::TextPipeline::detail {
namespace {

// The root collation at primary strength compares base letters only, so it
// ignores case and diacritics. One per thread: a string search may adjust
// the collator it is given.
icu::RuleBasedCollator* primaryCollator() {
    thread_local std::unique_ptr<icu::RuleBasedCollator> collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Collator> made(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) return std::unique_ptr<icu::RuleBasedCollator>();
        made->setStrength(icu::Collator::PRIMARY);
        auto* ruleBased = dynamic_cast<icu::RuleBasedCollator*>(made.get());
        if (!ruleBased) return std::unique_ptr<icu::RuleBasedCollator>();
        made.release();
        return std::unique_ptr<icu::RuleBasedCollator>(ruleBased);
    }();
    return collator.get();
}

}  // namespace

bool equalIgnoringCaseAndDiacritics(const UnicodeString& left, const UnicodeString& right) {
    icu::RuleBasedCollator* collator = primaryCollator();
    if (!collator) return left == right;
    UErrorCode status = U_ZERO_ERROR;
    return collator->compare(left, right, status) == UCOL_EQUAL && U_SUCCESS(status);
}

UnicodeString replacingIgnoringCaseAndDiacritics(const UnicodeString& text, const UnicodeString& target,
                                                 const UnicodeString& replacement) {
    icu::RuleBasedCollator* collator = primaryCollator();
    if (!collator || target.isEmpty() || text.isEmpty()) return text;
    UErrorCode status = U_ZERO_ERROR;
    icu::StringSearch search(target, text, collator, nullptr, status);
    // A target made only of characters the comparison ignores cannot be searched for.
    if (U_FAILURE(status)) return text;

    UnicodeString result;
    int32_t copied = 0;
    bool replaced = false;
    for (int32_t start = search.first(status); U_SUCCESS(status) && start != USEARCH_DONE;
         start = search.next(status)) {
        result.append(text, copied, start - copied).append(replacement);
        copied = start + search.getMatchedLength();
        replaced = true;
    }
    if (U_FAILURE(status) || !replaced) return text;
    return result.append(text, copied, text.length() - copied);
}

UnicodeString expandSnippets(const UnicodeString& text, const std::vector<VoiceSnippet>& snippets) {
    UnicodeString result(text);
    for (const VoiceSnippet& snippet : snippets) {
        if (snippet.phrase.empty()) continue;
        const UnicodeString phrase = fromUtf8(snippet.phrase);
        const UnicodeString expansion = fromUtf8(snippet.expansion);
        if (equalIgnoringCaseAndDiacritics(result, phrase)) return expansion;
        result = replacingIgnoringCaseAndDiacritics(result, phrase, expansion);
    }
    return result;
}

}  // namespace tavlo::TextPipeline::detail
