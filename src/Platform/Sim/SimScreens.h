#pragma once

#include <functional>
#include <memory>

#include "Platform/Scheduler.h"
#include "Platform/Screens.h"

namespace torvel {

/// Scriptable screens. It starts as a laptop with its own screen only; a change is announced only when
/// a test calls emitChange(), and arrives on the main loop as the real notification does.
class SimScreens : public Screens {
public:
    explicit SimScreens(Scheduler& scheduler) : scheduler_(scheduler) {}

    int screenCount() override { return count_; }
    void setOnChange(std::function<void()> onChange) override { *onChange_ = std::move(onChange); }

    /// True while someone gets the change notification.
    bool isNotifying() const { return static_cast<bool>(*onChange_); }
    /// The number of screens attached (negative values are taken as 0).
    void setScreenCount(int count) { count_ = count < 0 ? 0 : count; }
    /// Screens were added, removed or rearranged: the callback runs on the main loop.
    void emitChange();

private:
    Scheduler& scheduler_;
    int count_ = 1;
    // Shared with posted deliveries, which find it empty once notifications stop or the sim is gone.
    std::shared_ptr<std::function<void()>> onChange_ = std::make_shared<std::function<void()>>();
};

}  // namespace torvel
