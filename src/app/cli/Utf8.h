#pragma once
#include <string_view>

namespace tavlo::cli {

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(std::string_view bytes);

}  // namespace tavlo::cli
