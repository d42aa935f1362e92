#pragma once

#include <functional>
#include <memory>
#include <utility>

#include "Platform/Scheduler.h"
#include "Platform/SystemSleepEvents.h"

namespace torvel {

/// Sleep and wake on command. Like the real announcements, they arrive on the main loop, and only to
/// the callback set when they are delivered.
class SimSystemSleepEvents : public SystemSleepEvents {
public:
    explicit SimSystemSleepEvents(Scheduler& scheduler) : scheduler_(scheduler) {}

    bool setOnSleep(std::function<void()> onSleep) override { return set(*onSleep_, std::move(onSleep)); }
    bool setOnWake(std::function<void()> onWake) override { return set(*onWake_, std::move(onWake)); }

    /// From now on (until called with false) the setters fail and nothing is delivered, as without logind.
    void failSubscription(bool fail = true) {
        failing_ = fail;
        if (fail) *onSleep_ = *onWake_ = nullptr;
    }
    /// True while someone listens for sleep, or for wake.
    bool hasSleepListener() const { return static_cast<bool>(*onSleep_); }
    bool hasWakeListener() const { return static_cast<bool>(*onWake_); }

    /// The machine is about to sleep (SimClock::suspend() models the time it then spends asleep).
    void emitSleep() { deliver(onSleep_); }
    /// The machine has woken up.
    void emitWake() { deliver(onWake_); }

private:
    using Callback = std::function<void()>;

    bool set(Callback& slot, Callback callback) {
        if (failing_) return false;
        slot = std::move(callback);
        return true;
    }

    void deliver(const std::shared_ptr<Callback>& slot) {
        scheduler_.post([weak = std::weak_ptr<Callback>(slot)] {
            const auto shared = weak.lock();
            if (!shared || !*shared) return;
            const auto callback = *shared;  // it may replace itself while it runs
            callback();
        });
    }

    Scheduler& scheduler_;
    bool failing_ = false;
    // Shared with posted deliveries, which find them gone once the sim is destroyed.
    std::shared_ptr<Callback> onSleep_ = std::make_shared<Callback>();
    std::shared_ptr<Callback> onWake_ = std::make_shared<Callback>();
};

}  // namespace torvel
