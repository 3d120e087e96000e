#include "text/TextPipeline.h"

namespace tavlo::TextPipeline {

ProcessedText process(std::string_view text, TransformStyle, const std::vector<VoiceSnippet>&) {
    return ProcessedText{std::string(text), false, false};
}

}  // namespace tavlo::TextPipeline
