// Version texts as release managers really write them, and the forgiving
// integer reading beneath them.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "updates/VersionComparison.h"

namespace tavlo {
namespace {

TEST(ReadDecimalInteger, ReadsASignAndDigitsOnlyAndEverythingElseAsZero) {
    const std::vector<std::pair<std::string, std::int64_t>> cases = {
        {"0", 0},
        {"7", 7},
        {"40", 40},
        {"007", 7},
        {"+5", 5},
        {"-1", -1},
        {"", 0},
        {"+", 0},
        {"-", 0},
        {"40a", 0},
        {"3-beta", 0},
        {"1.2", 0},
        {" 5", 0},
        {"5 ", 0},
        {"++5", 0},
        {"0x1F", 0},
        {"١٢", 0},  // Arabic-Indic digits are not decimal digits here
        {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
        {"9223372036854775808", 0},  // beyond the range: does not read
        {"-9223372036854775809", 0},
        {"99999999999999999999999", 0},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(readDecimalInteger(text), value) << '"' << text << '"';
}

struct VersionCase {
    std::string first;
    std::string second;
    VersionOrder order;
};

TEST(CompareVersions, ComparesPartByPartWithMissingPartsAsZero) {
    using enum VersionOrder;
    const std::vector<VersionCase> cases = {
        {"1.3", "1.2.9", descending},
        {"1.2.9", "1.3", ascending},
        {"1.2", "1.2.0", same},
        {"1.2.0.0", "1.2", same},
        {"1.10", "1.9", descending},
        {"1.9", "1.10", ascending},
        {"", "", same},
        {"", "0", same},
        {"", "0.0.1", ascending},
        {"1..2", "1.2", same},  // empty pieces are dropped
        {".1", "1", same},
        {"1.", "1.0", same},
        {"2.0", "10.0", ascending},
        {"3-beta", "0", same},  // an unreadable part is 0
        {"3-beta", "3", ascending},
        {"1.2-rc1", "1.1", ascending},  // "2-rc1" reads as 0
        {"+5", "5", same},
        {"-1", "0", ascending},
        {"1.-1", "1", ascending},
        {"1.02", "1.2", same},
        {"1.0.0.1", "1", descending},
        {"v2", "1", ascending},
    };
    for (const auto& c : cases)
        EXPECT_EQ(compareVersions(c.first, c.second), c.order) << '"' << c.first << "\" vs \"" << c.second << '"';
}

}  // namespace
}  // namespace tavlo
