#include "text/TextPipeline.h"

#include "text/Cleanup.h"
#include "text/IcuText.h"
#include "text/Snippets.h"
#include "text/SpokenCommands.h"
#include "text/StyleTransforms.h"

namespace tavlo::TextPipeline {

using namespace detail;

ProcessedText process(std::string_view input, TransformStyle style, const std::vector<VoiceSnippet>& snippets,
                      SelfCorrections selfCorrections) {
    UnicodeString text = normalizeWhitespace(fromUtf8(input));
    if (text.isEmpty()) return ProcessedText{};
    if (isCancelCommand(text)) return ProcessedText{"", false, true};

    const bool shouldPressEnter = takePressEnterCommand(text);
    text = expandSnippets(text, snippets);
    // A spoken style command wins over the caller's choice, even over verbatim.
    const TransformStyle effectiveStyle = styleFromSpokenCommand(text).value_or(style);

    if (selfCorrections == SelfCorrections::apply) text = applySelfCorrections(text);
    text = removeRecognizerMarkers(text);
    text = replaceSpokenEtCetera(text);
    text = replaceDictationPhrases(text);
    text = normalizePunctuationSpacing(text);
    text = removeConversationalLeadIns(text);
    text = removeFillers(text);
    text = collapseRepeatedClauseRevisions(text);
    text = removeRepeatedWords(text);

    text = applyStyle(text, effectiveStyle);
    text = normalizeWhitespace(normalizePunctuationSpacing(text));
    return ProcessedText{toUtf8(text), shouldPressEnter, false};
}

}  // namespace tavlo::TextPipeline
