// Conversions between a toolkit's text positions (code points for GTK,
// UTF-16 units for Qt) and the UTF-16 units the program uses.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/linux/atspi/TextOffsets.h"

namespace tavlo::atspi {
namespace {

// a 😀 e ◌́ b: code points 0..5, UTF-16 units 0..6 (the emoji takes two).
const std::string mixed = "a\U0001F600e\u0301b";

TEST(TextOffsets, TheCountingIsToldFromTheCharacterCount) {
    struct Case {
        std::string text;
        std::int64_t count;
        std::optional<OffsetUnit> unit;
    } cases[] = {
        {mixed, 5, OffsetUnit::codePoint},
        {mixed, 6, OffsetUnit::utf16},
        {mixed, 7, std::nullopt},               // changed in between
        {"plain", 5, OffsetUnit::codePoint},    // both agree
        {"", 0, OffsetUnit::codePoint},
        {"\xff", 1, OffsetUnit::codePoint},     // malformed: one replacement character
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.text);
        EXPECT_EQ(detectOffsetUnit(each.text, each.count), each.unit);
    }
}

TEST(TextOffsets, PositionsConvertBothWaysAndNeverSplitAnEmoji) {
    struct Case {
        OffsetUnit unit;
        std::int64_t toolkit;
        std::optional<std::int64_t> utf16;
    } cases[] = {
        {OffsetUnit::codePoint, 0, 0}, {OffsetUnit::codePoint, 1, 1}, {OffsetUnit::codePoint, 2, 3},
        {OffsetUnit::codePoint, 5, 6}, {OffsetUnit::codePoint, 6, std::nullopt},
        {OffsetUnit::codePoint, -1, std::nullopt},
        {OffsetUnit::utf16, 3, 3},     {OffsetUnit::utf16, 6, 6},     {OffsetUnit::utf16, 7, std::nullopt},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.toolkit);
        EXPECT_EQ(utf16Offset(mixed, each.toolkit, each.unit), each.utf16);
        if (each.utf16) {
            EXPECT_EQ(offsetFromUtf16(mixed, *each.utf16, each.unit), each.toolkit);
        }
    }
    // Between the two halves of the emoji, or outside the text.
    for (auto unit : {OffsetUnit::codePoint, OffsetUnit::utf16}) {
        EXPECT_EQ(offsetFromUtf16(mixed, 2, unit), std::nullopt);
        EXPECT_EQ(offsetFromUtf16(mixed, 7, unit), std::nullopt);
        EXPECT_EQ(offsetFromUtf16(mixed, -1, unit), std::nullopt);
    }
    EXPECT_EQ(codePointLength(mixed), 5);
    EXPECT_EQ(utf16Length(mixed), 6);
}

}  // namespace
}  // namespace tavlo::atspi
