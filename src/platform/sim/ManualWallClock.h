#pragma once
// A wall clock that moves only when the test moves it.
#include "platform/WallClock.h"

namespace tavlo {

class ManualWallClock : public WallClock {
public:
    explicit ManualWallClock(Date start = dateFromReferenceSeconds(700'000'000)) : now_(start) {}

    Date now() const override { return now_; }
    void set(Date date) { now_ = date; }
    template <class Duration> void advance(Duration by) {
        now_ += std::chrono::duration_cast<Date::duration>(by);
    }

private:
    Date now_;
};

}  // namespace tavlo
