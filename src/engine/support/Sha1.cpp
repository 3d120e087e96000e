#include "engine/support/Sha1.h"

#include <cstring>

namespace tavlo {
namespace {

std::uint32_t rotate(std::uint32_t value, int bits) { return (value << bits) | (value >> (32 - bits)); }

}  // namespace

Sha1::Sha1() : state_{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u} {}

void Sha1::block(const std::uint8_t* chunk) {
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i)
        w[i] = (std::uint32_t(chunk[4 * i]) << 24) | (std::uint32_t(chunk[4 * i + 1]) << 16) |
               (std::uint32_t(chunk[4 * i + 2]) << 8) | std::uint32_t(chunk[4 * i + 3]);
    for (int i = 16; i < 80; ++i) w[i] = rotate(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    for (int i = 0; i < 80; ++i) {
        std::uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999u;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1u;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDCu;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6u;
        }
        const std::uint32_t next = rotate(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = rotate(b, 30);
        b = a;
        a = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

void Sha1::update(const void* data, std::size_t length) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    totalBytes_ += length;
    if (buffered_ > 0) {
        const std::size_t take = std::min(length, buffer_.size() - buffered_);
        std::memcpy(buffer_.data() + buffered_, bytes, take);
        buffered_ += take;
        bytes += take;
        length -= take;
        if (buffered_ < buffer_.size()) return;
        block(buffer_.data());
        buffered_ = 0;
    }
    for (; length >= 64; bytes += 64, length -= 64) block(bytes);
    std::memcpy(buffer_.data(), bytes, length);
    buffered_ = length;
}

std::string Sha1::hexDigest() {
    const std::uint64_t bits = totalBytes_ * 8;
    const std::uint8_t one = 0x80, zero = 0;
    update(&one, 1);
    while (buffered_ != 56) update(&zero, 1);
    std::uint8_t length[8];
    for (int i = 0; i < 8; ++i) length[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    update(length, 8);
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint32_t word : state_)
        for (int shift = 28; shift >= 0; shift -= 4) hex += digits[(word >> shift) & 0xF];
    return hex;
}

}  // namespace tavlo
