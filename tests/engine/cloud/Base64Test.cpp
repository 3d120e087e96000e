#include <gtest/gtest.h>

#include "engine/cloud/Base64.h"

namespace tavlo {
namespace {

TEST(Base64, EncodesTheStandardTestVectors) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},           {"f", "Zg=="},          {"fo", "Zm8="},         {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
        // Bytes above 0x7F, NUL, and the two characters beyond letters and digits.
        {std::string("\xff\xfe\xfd", 3), "//79"}, {std::string("\0", 1), "AA=="}, {"\xfb\xff", "+/8="},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(base64Encoded(bytes), text) << bytes;
}

TEST(Base64, LongInputStaysOnOneLine) {
    const std::string encoded = base64Encoded(std::string(1000, 'x'));
    EXPECT_EQ(encoded.size(), 1336u);
    EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
}

}  // namespace
}  // namespace tavlo
