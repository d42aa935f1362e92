#pragma once

#include "Platform/Scheduler.h"
#include "Platform/Screens.h"
#include "Support/Lifetime.h"

namespace torvel {

/// Scriptable screens. It starts as a laptop with its own screen only; a change is announced only when
/// a test calls emitChange(), and arrives on the main loop as the real notification does.
class SimScreens : public Screens {
public:
    explicit SimScreens(Scheduler& scheduler) : scheduler_(scheduler) {}

    int screenCount() override { return count_; }

    /// True while someone gets the change notification.
    bool isNotifying() const { return changed.isObserved(); }
    /// The number of screens attached (negative values are taken as 0).
    void setScreenCount(int count) { count_ = count < 0 ? 0 : count; }
    /// Screens were added, removed or rearranged: the callback runs on the main loop.
    void emitChange();

private:
    Scheduler& scheduler_;
    int count_ = 1;
    // Posted deliveries do nothing once the sim is gone.
    Lifetime lifetime_;
};

}  // namespace torvel
