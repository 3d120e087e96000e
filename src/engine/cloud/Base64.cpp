#include "engine/cloud/Base64.h"

#include <cstdint>

namespace tavlo {

std::string base64Encoded(std::string_view bytes) {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    auto byteAt = [&](std::size_t index) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[index])); };
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t group = byteAt(i) << 16 | byteAt(i + 1) << 8 | byteAt(i + 2);
        text += alphabet[group >> 18 & 0x3F];
        text += alphabet[group >> 12 & 0x3F];
        text += alphabet[group >> 6 & 0x3F];
        text += alphabet[group & 0x3F];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        const std::uint32_t group = byteAt(i) << 16 | (rest == 2 ? byteAt(i + 1) << 8 : 0);
        text += alphabet[group >> 18 & 0x3F];
        text += alphabet[group >> 12 & 0x3F];
        text += rest == 2 ? alphabet[group >> 6 & 0x3F] : '=';
        text += '=';
    }
    return text;
}

}  // namespace tavlo
