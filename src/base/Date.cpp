#include "base/Date.h"

#include <cmath>
#include <cstdint>

namespace tavlo {

double secondsSinceReferenceDate(Date date) {
    // Subtract in whole ticks first, so a time a quarter second past a whole
    // second is stored as .25 and not as the nearest double of a large sum.
    const auto reference = std::chrono::duration_cast<Date::duration>(
        std::chrono::seconds(static_cast<std::int64_t>(referenceDateUnixSeconds)));
    return std::chrono::duration<double>(date.time_since_epoch() - reference).count();
}

Date dateFromReferenceSeconds(double seconds) {
    using Ticks = Date::duration;
    if (!std::isfinite(seconds)) return Date{};
    // Clamp so a corrupt stored number can never overflow the clock's integer
    // ticks, and convert whole and fractional seconds apart so the fraction
    // keeps its precision.
    const double limit = std::chrono::duration<double>(Ticks::max()).count() * 0.5;
    const double clamped = std::fmax(-limit, std::fmin(limit, seconds));
    const double whole = std::floor(clamped);
    const auto fraction = std::chrono::duration_cast<Ticks>(std::chrono::duration<double>(clamped - whole));
    const auto wholeSeconds = std::chrono::seconds(static_cast<std::int64_t>(whole) +
                                                   static_cast<std::int64_t>(referenceDateUnixSeconds));
    return Date{std::chrono::duration_cast<Ticks>(wholeSeconds) + fraction};
}

}  // namespace tavlo
