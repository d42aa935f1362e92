#pragma once

#include "Models/Date.h"

namespace torvel {

/// The two clocks of the machine.
class Clock {
public:
    virtual ~Clock() = default;
    /// Wall-clock time; jumps when the user or NTP changes the clock, and across a suspend.
    virtual Date now() const = 0;
    /// Seconds on a monotonic clock that does not advance while the machine is suspended; for
    /// cooldowns and elapsed time. Only differences are meaningful.
    virtual double suspendingNow() const = 0;
};

}  // namespace torvel
