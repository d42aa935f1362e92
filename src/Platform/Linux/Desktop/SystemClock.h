#pragma once

#include "Platform/Clock.h"

namespace torvel {

/// The machine's clocks: the realtime clock for the wall time, CLOCK_MONOTONIC for the suspending
/// clock (on Linux it stands still while the machine is suspended, unlike CLOCK_BOOTTIME).
class SystemClock : public Clock {
public:
    Date now() const override;
    double suspendingNow() const override;
};

}  // namespace torvel
