#include "updates/VersionComparison.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace tavlo {
namespace {

std::vector<std::int64_t> versionParts(std::string_view version) {
    std::vector<std::int64_t> parts;
    while (!version.empty()) {
        const auto dot = version.find('.');
        const std::string_view piece = version.substr(0, dot);
        if (!piece.empty()) parts.push_back(readDecimalInteger(piece));
        if (dot == std::string_view::npos) break;
        version.remove_prefix(dot + 1);
    }
    return parts;
}

}  // namespace

std::int64_t readDecimalInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return 0;
    // Accumulated as a negative number, whose range reaches the minimum too.
    constexpr std::int64_t minimum = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return 0;
        const int digit = c - '0';
        if (value < (minimum + digit) / 10) return 0;
        value = value * 10 - digit;
    }
    if (negative) return value;
    if (value == minimum) return 0;
    return -value;
}

VersionOrder compareVersions(std::string_view first, std::string_view second) {
    const auto a = versionParts(first);
    const auto b = versionParts(second);
    for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const std::int64_t left = i < a.size() ? a[i] : 0;
        const std::int64_t right = i < b.size() ? b[i] : 0;
        if (left < right) return VersionOrder::ascending;
        if (left > right) return VersionOrder::descending;
    }
    return VersionOrder::same;
}

}  // namespace tavlo
