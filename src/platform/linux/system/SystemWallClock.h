#pragma once
#include "platform/WallClock.h"

namespace tavlo {

class SystemWallClock : public WallClock {
public:
    Date now() const override { return std::chrono::system_clock::now(); }
};

}  // namespace tavlo
