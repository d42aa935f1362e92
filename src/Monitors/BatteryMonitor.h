#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <utility>

#include "Models/BatteryState.h"
#include "Models/Date.h"
#include "Platform/Clock.h"
#include "Platform/Log.h"
#include "Platform/PowerSources.h"
#include "Support/Lifetime.h"
#include "Support/Signal.h"

namespace torvel {

/// Reads the power source whenever the system reports a change, and forecasts how long the battery lasts
/// from the charge samples it takes while the machine runs on battery.
class BatteryMonitor {
public:
    /// One reading of the charge on battery power.
    struct Sample {
        Date date;
        std::int64_t percent = 0;
        friend bool operator==(const Sample&, const Sample&) = default;
    };
    /// Samples kept: enough for a steady forecast, few enough that it follows a change of load.
    static constexpr std::size_t kMaxHistorySize = 20;

    BatteryMonitor(PowerSources& sources, const Clock& clock, LogSink& log);
    ~BatteryMonitor();
    BatteryMonitor(const BatteryMonitor&) = delete;
    BatteryMonitor& operator=(const BatteryMonitor&) = delete;

    /// Refreshes on every power-source change from now on; reads nothing itself. When the notification
    /// cannot be set up it logs that, and refreshes happen only on demand.
    void startMonitoring();
    /// Reads the power source, updates the history and the state, and calls the state callback. Skipped
    /// silently, the state kept, when the first power source has no readable description.
    void refreshState();

    /// Told after every refresh that produced a state, changed or not.
    Signal<const BatteryState&> stateChanged;
    /// The last state read; the no-battery state until the first refresh.
    const BatteryState& currentState() const { return currentState_; }
    /// On-battery samples, oldest first; emptied by every refresh that sees AC power or charging.
    const std::deque<Sample>& drainHistory() const { return drainHistory_; }

    /// Percent lost per minute between the oldest and newest sample. Absent with fewer than two samples,
    /// no time between them (or a clock set back), or a level that did not fall.
    std::optional<double> drainRatePerMinute() const;
    /// Whole minutes until the charge falls to `threshold` percent at the drain rate; 0 at or below it,
    /// absent without a drain rate. A forecast too long to count saturates at the largest int64.
    std::optional<std::int64_t> minutesUntilThreshold(std::int64_t threshold) const;

    /// Whole minutes of a system estimate in seconds; absent unless it is a positive number whose
    /// minutes fit an int64 (the special values -1 and -2, zero, NaN and infinities are no estimate).
    static std::optional<std::int64_t> estimateMinutes(double seconds);

    /// Expires with the monitor, so that closures holding it can tell it is gone.
    std::weak_ptr<BatteryMonitor> weakSelf() { return lifetime_.weakPointer(*this); }

private:
    void publish();

    PowerSources& sources_;
    const Clock& clock_;
    Logger log_;
    BatteryState currentState_ = BatteryState::noBattery();
    bool isMonitoring_ = false;
    std::deque<Sample> drainHistory_;
    Lifetime lifetime_;
};

}  // namespace torvel
