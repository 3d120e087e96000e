#include "platform/linux/x11/SelectionText.h"

#include <unicode/unistr.h>

namespace tavlo::x11 {
namespace {

icu::UnicodeString decode(std::string_view utf8) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
}

}  // namespace

std::optional<std::string> latin1FromUtf8(std::string_view utf8) {
    const icu::UnicodeString text = decode(utf8);
    std::string latin1;
    latin1.reserve(static_cast<std::size_t>(text.length()));
    for (int32_t i = 0; i < text.length(); ++i) {
        const char16_t unit = text.charAt(i);
        // U+FFFD stands for bytes that were not UTF-8 at all.
        if (unit > 0xff) return std::nullopt;
        latin1.push_back(static_cast<char>(unit));
    }
    return latin1;
}

std::string utf8FromLatin1(std::string_view latin1) {
    std::string utf8;
    utf8.reserve(latin1.size());
    for (const char byte : latin1) {
        const auto code = static_cast<unsigned char>(byte);
        if (code < 0x80) {
            utf8.push_back(byte);
        } else {
            utf8.push_back(static_cast<char>(0xc0 | (code >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (code & 0x3f)));
        }
    }
    return utf8;
}

std::string wellFormedUtf8(std::string_view bytes) {
    std::string result;
    decode(bytes).toUTF8String(result);
    return result;
}

}  // namespace tavlo::x11
