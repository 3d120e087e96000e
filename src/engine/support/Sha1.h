#pragma once
// SHA-1, the checksum whisper.cpp publishes for its model files. Used to tell
// a complete, undamaged download from anything else, not for security.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavlo {

class Sha1 {
public:
    Sha1();
    void update(const void* data, std::size_t length);
    void update(std::string_view text) { update(text.data(), text.size()); }
    // Forty lower-case hexadecimal digits. Ends the computation.
    std::string hexDigest();

private:
    void block(const std::uint8_t* chunk);

    std::array<std::uint32_t, 5> state_;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t totalBytes_ = 0;
};

}  // namespace tavlo
