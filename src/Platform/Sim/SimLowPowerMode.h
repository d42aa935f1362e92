#pragma once

#include <optional>

#include "Platform/LowPowerMode.h"
#include "Platform/Scheduler.h"
#include "Support/Lifetime.h"

namespace torvel {

/// A scriptable power saver: off until a test switches it, each change announced on the next turn.
class SimLowPowerMode : public LowPowerMode {
public:
    explicit SimLowPowerMode(Scheduler& scheduler) : scheduler_(scheduler) {}

    std::optional<bool> isEnabled() const override { return enabled_; }

    /// The reading from now on (std::nullopt: unknown), announced on the next turn.
    void setEnabled(std::optional<bool> enabled) {
        enabled_ = enabled;
        scheduler_.post(lifetime_.guard([this] { changed.emit(); }));
    }

private:
    Scheduler& scheduler_;
    std::optional<bool> enabled_ = false;
    Lifetime lifetime_;
};

}  // namespace torvel
