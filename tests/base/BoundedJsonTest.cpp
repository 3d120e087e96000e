// Parsing JSON from files and servers with a bound on nesting depth.
#include <gtest/gtest.h>

#include <string>

#include "base/BoundedJson.h"

namespace tavlo::testing {
namespace {

std::string nested(std::size_t depth, char open = '[', char close = ']') {
    return std::string(depth, open) + std::string(depth, close);
}

TEST(BoundedJson, NestingUpToTheBoundIsParsedDeeperIsRefused) {
    EXPECT_TRUE(parseBoundedJson(nested(maximumJsonDepth)));
    std::string problem;
    EXPECT_FALSE(parseBoundedJson(nested(maximumJsonDepth + 1), &problem));
    EXPECT_NE(problem.find("nested more than 100 levels"), std::string::npos) << problem;
    // Tens of thousands deep, objects and arrays mixed, and unclosed: refused
    // without walking the structure.
    std::string deep;
    for (int i = 0; i < 50'000; ++i) deep += i % 2 ? "{\"a\":" : "[";
    EXPECT_FALSE(parseBoundedJson<nlohmann::ordered_json>(deep));
}

TEST(BoundedJson, BracketsInsideStringsDoNotCount) {
    const std::string text = "{\"a\": \"" + nested(500) + "\\\"[[[\", \"b\": [1, {\"c\": \"]]]\"}]}";
    const auto parsed = parseBoundedJson(text);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->at("b").at(1).at("c"), "]]]");
}

TEST(BoundedJson, InvalidTextGivesTheParsersReason) {
    std::string problem;
    EXPECT_FALSE(parseBoundedJson("{\"a\": ", &problem));
    EXPECT_NE(problem.find("parse error"), std::string::npos) << problem;
    EXPECT_TRUE(jsonNestingWithin("]]]]} not json"));
}

}  // namespace
}  // namespace tavlo::testing
