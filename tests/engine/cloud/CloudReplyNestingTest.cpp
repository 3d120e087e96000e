// A cloud service's reply is untrusted: a JSON body nested a million levels
// deep is not walked (that would exhaust the stack); it is read as plain text.
#include <gtest/gtest.h>

#include <string>

#include "engine/cloud/CloudReplies.h"
#include "engine/DictationEngineError.h"

namespace tavlo {
namespace {

TEST(CloudReplyNesting, ADeeplyNestedBodyIsReadAsText) {
    const std::string deep = "{\"error\": {\"message\": \"quota\"}, \"x\": " + std::string(1'000'000, '[') +
                             std::string(1'000'000, ']') + "}";
    const HttpResult reply{HttpResponse{500, {}, deep}, {}};
    for (const DictationResult& outcome : {openAITranscriptionOutcome(reply), tavloCloudTranscriptionOutcome(reply)}) {
        ASSERT_FALSE(outcome.isSuccess());
        // The message is not taken from inside the document.
        EXPECT_NE(errorDescription(outcome.error()), "quota");
    }
}

}  // namespace
}  // namespace tavlo
