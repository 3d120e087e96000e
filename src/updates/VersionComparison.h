#pragma once
// How published and running versions are compared: dotted numbers read part by
// part, with a forgiving integer reading so that an odd version text never
// stops a check.
#include <cstdint>
#include <string_view>

namespace tavlo {

// Where the first version stands relative to the second.
enum class VersionOrder {
    ascending,  // the first is older
    same,
    descending  // the first is newer
};

// An optional leading sign followed by decimal digits only; anything else, the
// empty text, or a value beyond a 64-bit integer reads as 0 ("3-beta" is 0).
std::int64_t readDecimalInteger(std::string_view text);

// Splits both texts at ".", dropping empty pieces ("1..2" has two parts), reads
// each piece as above and compares part by part; a missing part counts as 0,
// so "1.2" and "1.2.0" are the same and "1.10" is newer than "1.9".
VersionOrder compareVersions(std::string_view first, std::string_view second);

}  // namespace tavlo
