#pragma once

#include "Platform/Clock.h"

namespace torvel {

/// A clock that moves only when told to. The wall and suspending clocks move together, except across
/// a simulated suspend, where only the wall clock jumps.
class SimClock : public Clock {
public:
    explicit SimClock(Date start = Date(0.0)) : wall_(start) {}

    Date now() const override { return wall_; }
    double suspendingNow() const override { return suspending_; }

    /// Moves both clocks forward (used by VirtualScheduler::advance).
    void advance(double seconds);
    /// The machine sleeps for `seconds`: the wall clock jumps, the suspending clock stands still.
    void suspend(double seconds);
    /// Sets the wall clock (a user or NTP change); the suspending clock is untouched.
    void setNow(Date date) { wall_ = date; }

private:
    Date wall_;
    double suspending_ = 1000.0;
};

}  // namespace torvel
