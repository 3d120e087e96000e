#pragma once
// Points in time and their stored form: a floating-point number of seconds
// since 2001-01-01 00:00:00 UTC, the form every stored date uses.
#include <chrono>

namespace tavlo {

using Date = std::chrono::system_clock::time_point;

// 2001-01-01 00:00:00 UTC in seconds since the Unix epoch.
inline constexpr double referenceDateUnixSeconds = 978307200.0;

double secondsSinceReferenceDate(Date date);
Date dateFromReferenceSeconds(double seconds);

}  // namespace tavlo
