#pragma once
#include <string>

namespace tavlo {

// A new random (version 4) UUID in upper-case canonical form, such as
// "3F2504E0-4F89-41D3-9A0C-0305E82C3301". Used to name work files.
std::string makeRandomUuid();

}  // namespace tavlo
