#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "Platform/LowPowerMode.h"
#include "Platform/Sim/SimDelivery.h"

namespace torvel {

/// A scriptable power saver: off until a test switches it, each change announced on the next turn.
class SimLowPowerMode : public LowPowerMode {
public:
    explicit SimLowPowerMode(Scheduler& scheduler) : scheduler_(scheduler) {}

    std::optional<bool> isEnabled() const override { return enabled_; }
    void setOnChange(std::function<void()> onChange) override { *onChange_ = std::move(onChange); }

    /// The reading from now on (std::nullopt: unknown), announced on the next turn.
    void setEnabled(std::optional<bool> enabled) {
        enabled_ = enabled;
        deliverLater(scheduler_, onChange_);
    }

private:
    Scheduler& scheduler_;
    std::optional<bool> enabled_ = false;
    std::shared_ptr<std::function<void()>> onChange_ = std::make_shared<std::function<void()>>();
};

}  // namespace torvel
