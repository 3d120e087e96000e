#include "settings/Date.h"

#include <cmath>
#include <limits>

namespace tavlo {

double secondsSinceReferenceDate(Date date) {
    const auto sinceEpoch = std::chrono::duration<double>(date.time_since_epoch()).count();
    return sinceEpoch - referenceDateUnixSeconds;
}

Date dateFromReferenceSeconds(double seconds) {
    using Ticks = Date::duration;
    // Clamp so a corrupt stored number can never overflow the clock's integer ticks.
    const double unixSeconds = seconds + referenceDateUnixSeconds;
    const double maxSeconds =
        std::chrono::duration<double>(Ticks::max()).count() * 0.999;
    if (!std::isfinite(unixSeconds)) return Date{};
    const double clamped = std::fmax(-maxSeconds, std::fmin(maxSeconds, unixSeconds));
    return Date{std::chrono::duration_cast<Ticks>(std::chrono::duration<double>(clamped))};
}

}  // namespace tavlo
