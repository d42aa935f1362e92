#pragma once

#include <functional>
#include <memory>
#include <utility>

#include "Platform/Scheduler.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimDelivery.h"
#include "Platform/WallClockChanges.h"

namespace torvel {

/// Sets the simulated wall clock and announces it on the main loop, as the kernel does.
class SimWallClockChanges : public WallClockChanges {
public:
    SimWallClockChanges(SimClock& clock, Scheduler& scheduler) : clock_(clock), scheduler_(scheduler) {}

    bool setOnChange(std::function<void()> onChange) override {
        if (failing_) return false;
        *onChange_ = std::move(onChange);
        return true;
    }

    /// From now on (until called with false) the setter fails and nothing is announced.
    void failSubscription(bool fail = true) {
        failing_ = fail;
        if (fail) *onChange_ = nullptr;
    }
    /// Sets the wall clock (the suspending clock stays) and announces the change.
    void setNow(Date date) {
        clock_.setNow(date);
        emitChange();
    }
    /// Announces a change without moving the clock (a resume, or a set to the same time).
    void emitChange() { deliverLater(scheduler_, onChange_); }

private:
    SimClock& clock_;
    Scheduler& scheduler_;
    bool failing_ = false;
    // Shared with posted deliveries, which find it gone once the sim is destroyed.
    std::shared_ptr<std::function<void()>> onChange_ = std::make_shared<std::function<void()>>();
};

}  // namespace torvel
