#pragma once
// The calendar time of the machine, as stored in the history and update dates.
#include "base/Date.h"

namespace tavlo {

class WallClock {
public:
    virtual ~WallClock() = default;
    virtual Date now() const = 0;
};

}  // namespace tavlo
