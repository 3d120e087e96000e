#pragma once
// One row of a pipeline table: an utterance, the style it is processed in,
// the snippets in effect and the expected result.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "base/Enums.h"
#include "base/Records.h"
#include "text/TextPipeline.h"

namespace tavlo::test {

struct PipelineCase {
    const char* name;
    std::string input;
    TransformStyle style;
    std::string text;
    bool shouldPressEnter = false;
    bool cancelled = false;
    std::vector<VoiceSnippet> snippets = {};
};

inline void PrintTo(const PipelineCase& row, std::ostream* out) {
    *out << row.name << " [" << rawValue(row.style) << "] \"" << row.input << "\"";
}

inline std::string caseName(const ::testing::TestParamInfo<PipelineCase>& info) { return info.param.name; }

// Runs each row through the whole pipeline; the tables are instantiated per
// stage in the files of this folder.
class Pipeline : public ::testing::TestWithParam<PipelineCase> {};

}  // namespace tavlo::test
