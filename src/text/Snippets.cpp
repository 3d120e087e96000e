#include "text/Snippets.h"

#include <algorithm>
#include <vector>

#include <unicode/coleitr.h>
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

// Setting up a string search builds a break iterator and pattern tables, which
// costs far more than one search through a dictated sentence; each thread keeps
// one and gives it a new pattern and text.
icu::StringSearch* threadSearch(const UnicodeString& pattern, const UnicodeString& text) {
    thread_local std::unique_ptr<icu::StringSearch> search;
    UErrorCode status = U_ZERO_ERROR;
    if (!search) {
        icu::RuleBasedCollator* collator = primaryCollator();
        if (!collator) return nullptr;
        search = std::make_unique<icu::StringSearch>(pattern, text, collator, nullptr, status);
        if (U_FAILURE(status)) search.reset();
        return search.get();
    }
    search->setText(text, status);
    if (U_SUCCESS(status)) search->setPattern(pattern, status);
    // A pattern made only of characters the comparison ignores cannot be
    // searched for; the search is set up afresh next time.
    if (U_FAILURE(status)) {
        search.reset();
        return nullptr;
    }
    return search.get();
}

// The text's primary weights in order, leaving out the ignorable ones; what a
// primary-strength search compares.
std::vector<uint32_t> primaryWeights(const UnicodeString& text) {
    std::vector<uint32_t> weights;
    icu::RuleBasedCollator* collator = primaryCollator();
    if (!collator) return weights;
    thread_local std::unique_ptr<icu::CollationElementIterator> elements;
    UErrorCode status = U_ZERO_ERROR;
    if (!elements)
        elements.reset(collator->createCollationElementIterator(text));
    else
        elements->setText(text, status);
    if (!elements || U_FAILURE(status)) {
        elements.reset();
        return weights;
    }
    for (int32_t element = elements->next(status);
         U_SUCCESS(status) && element != icu::CollationElementIterator::NULLORDER; element = elements->next(status)) {
        const uint32_t primary = icu::CollationElementIterator::primaryOrder(element);
        if (primary != 0) weights.push_back(primary);
    }
    return weights;
}

bool containsSequence(const std::vector<uint32_t>& haystack, const std::vector<uint32_t>& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

}  // namespace

bool mayContainIgnoringCaseAndDiacritics(const UnicodeString& text, const UnicodeString& target) {
    return containsSequence(primaryWeights(text), primaryWeights(target));
}

bool equalIgnoringCaseAndDiacritics(const UnicodeString& left, const UnicodeString& right) {
    icu::RuleBasedCollator* collator = primaryCollator();
    if (!collator) return left == right;
    UErrorCode status = U_ZERO_ERROR;
    return collator->compare(left, right, status) == UCOL_EQUAL && U_SUCCESS(status);
}

UnicodeString replacingIgnoringCaseAndDiacritics(const UnicodeString& text, const UnicodeString& target,
                                                 const UnicodeString& replacement, int32_t lengthLimit) {
    if (target.isEmpty() || text.isEmpty()) return text;
    icu::StringSearch* search = threadSearch(target, text);
    if (!search) return text;

    UErrorCode status = U_ZERO_ERROR;
    UnicodeString result;
    int32_t copied = 0;
    bool replaced = false;
    for (int32_t start = search->first(status); U_SUCCESS(status) && start != USEARCH_DONE;
         start = search->next(status)) {
        result.append(text, copied, start - copied).append(replacement);
        copied = start + search->getMatchedLength();
        replaced = true;
        if (result.length() > lengthLimit) break;
    }
    if (U_FAILURE(status) || !replaced) return text;
    return result.append(text, copied, text.length() - copied);
}

UnicodeString expandSnippets(const UnicodeString& text, const std::vector<VoiceSnippet>& snippets) {
    UnicodeString result(text);
    // Most utterances hold no snippet phrase; the weights of the text are
    // worked out once (and again only after a replacement) to skip those
    // searches.
    std::vector<uint32_t> textWeights = primaryWeights(result);
    const int32_t lengthLimit = text.length() > INT32_MAX - snippetGrowthLimit ? INT32_MAX
                                                                                : text.length() + snippetGrowthLimit;
    for (const VoiceSnippet& snippet : snippets) {
        if (result.length() > lengthLimit) break;
        if (snippet.phrase.empty()) continue;
        const UnicodeString phrase = fromUtf8(snippet.phrase);
        const UnicodeString expansion = fromUtf8(snippet.expansion);
        if (equalIgnoringCaseAndDiacritics(result, phrase)) return expansion;
        if (!containsSequence(textWeights, primaryWeights(phrase))) continue;
        UnicodeString replaced = replacingIgnoringCaseAndDiacritics(result, phrase, expansion, lengthLimit);
        if (replaced != result) {
            result = std::move(replaced);
            textWeights = primaryWeights(result);
        }
    }
    return result;
}

}  // namespace tavlo::TextPipeline::detail
