#include "app/cli/Utf8.h"

#include <unicode/utf8.h>

namespace tavlo::cli {

bool isValidUtf8(std::string_view bytes) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto length = static_cast<int32_t>(bytes.size());
    if (static_cast<std::size_t>(length) != bytes.size()) return false;
    int32_t offset = 0;
    while (offset < length) {
        UChar32 c;
        U8_NEXT(data, offset, length, c);
        if (c < 0) return false;
    }
    return true;
}

}  // namespace tavlo::cli
