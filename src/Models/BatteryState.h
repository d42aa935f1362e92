#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace torvel {

/// What the power source reports. "No battery" (a desktop, or nothing readable) is the initial value.
struct BatteryState {
    /// Charge in percent; 100 when not reported.
    std::int64_t percentage = 100;
    bool isOnACPower = true;
    bool isCharging = false;
    /// False in the no-battery fallback.
    bool hasBattery = false;
    /// Whole minutes left by the system's estimate; absent without a positive estimate.
    std::optional<std::int64_t> estimatedMinutesRemaining;

    static BatteryState noBattery() { return {}; }
    friend bool operator==(const BatteryState&, const BatteryState&) = default;
    std::string toString() const;
};

/// The machine's thermal pressure, mildest first.
enum class ThermalState { nominal = 0, fair = 1, serious = 2, critical = 3 };

std::string_view toString(ThermalState state);

}  // namespace torvel
