#include "text/PipelineCases.h"

namespace tavlo::test {

TEST_P(Pipeline, Process) {
    const PipelineCase& row = GetParam();
    const ProcessedText result = TextPipeline::process(row.input, row.style, row.snippets);
    EXPECT_EQ(result.text, row.text);
    EXPECT_EQ(result.shouldPressEnter, row.shouldPressEnter);
    EXPECT_EQ(result.cancelled, row.cancelled);
}

}  // namespace tavlo::test
