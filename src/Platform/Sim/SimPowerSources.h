#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Platform/PowerSources.h"
#include "Platform/Scheduler.h"

namespace torvel {

/// A scriptable battery. It starts as a laptop on AC power, fully charged; changes are announced only
/// when a test calls emitChange(), and arrive on the main loop as the real notification does.
class SimPowerSources : public PowerSources {
public:
    explicit SimPowerSources(Scheduler& scheduler);

    PowerSourceReading readFirstSource() override;
    double timeRemainingEstimate() override { return estimate_; }
    bool setOnChange(std::function<void()> onChange) override;
    void stopNotifications() override;

    /// How often the power sources were read.
    int readCount() const { return reads_; }
    /// True while someone gets the change notification.
    bool isNotifying() const { return static_cast<bool>(*onChange_); }

    // Injectors. A value injector also undoes setNoPowerSource(), setNoSources() and setNoDescription().
    /// The charge in percent; std::nullopt removes the key.
    void setBatteryPercent(std::optional<int> percent);
    /// "AC Power" or "Battery Power".
    void setOnAC(bool onAC);
    void setCharging(bool charging);
    /// Seconds left, or kTimeRemainingUnknown / kTimeRemainingUnlimited.
    void setEstimate(double seconds) { estimate_ = seconds; }
    /// Puts any value, of any type, under `key` (a mistyped key).
    void setRawValue(const std::string& key, PowerSourceValue value);
    void removeValue(const std::string& key);
    /// No power-source information at all.
    void setNoPowerSource() { status_ = ReadStatus::noInfo; }
    /// Information without any power source in it, as on a desktop.
    void setNoSources() { status_ = ReadStatus::noSources; }
    /// The first power source has no readable description.
    void setNoDescription() { status_ = ReadStatus::noDescription; }
    /// setOnChange() fails from now on (until called with false).
    void failNotificationSetup(bool fail = true) { failNotificationSetup_ = fail; }

    /// The power source changed: the callback runs on the main loop, if it is still set by then.
    void emitChange();

private:
    Scheduler& scheduler_;
    PowerSourceDescription description_;
    ReadStatus status_ = ReadStatus::ok;
    double estimate_ = kTimeRemainingUnlimited;
    bool failNotificationSetup_ = false;
    int reads_ = 0;
    // Shared with posted deliveries, which find it empty once notifications stop or the sim is gone.
    std::shared_ptr<std::function<void()>> onChange_ = std::make_shared<std::function<void()>>();
};

}  // namespace torvel
