#pragma once

#include <cstdint>
#include <string_view>

namespace torvel {

/// What the low-battery emergency does about other processes keeping a nearly empty laptop awake.
enum class EmergencyPowerAction { none, forceSleep, terminateBlockersThenSleep };

std::string_view toString(EmergencyPowerAction action);

/// The emergency's decision, a pure function of one reading so it can be checked by a table.
class EmergencyPowerPolicy {
public:
    /// An emergency action counts for this long: no second one follows sooner.
    static constexpr double kCooldownSeconds = 180.0;
    /// Thresholds above this are read as this.
    static constexpr std::int64_t kHighestThreshold = 20;
    /// The watch starts here at the latest, even when the sleep threshold is lower or off.
    static constexpr std::int64_t kLowestWatchThreshold = 15;

    struct Input {
        bool hasBattery = false;
        bool isOnACPower = false;
        std::int64_t batteryPercent = 0;
        bool hasBlockers = false;
        /// Already clamped to 0...kHighestThreshold.
        std::int64_t forceSleepPercent = 0;
        /// effectiveTerminatePercent().
        std::int64_t terminateBlockersPercent = 0;
        bool inCooldown = false;
    };

    /// Nothing on the charger, without blockers or in the cooldown; below the terminate threshold
    /// blockers are ended first, below the sleep threshold the laptop sleeps. At exactly a threshold
    /// nothing happens.
    static EmergencyPowerAction decide(const Input& input);
    /// The sleep threshold as the decision reads it.
    static std::int64_t forceSleepPercent(std::int64_t stored);
    /// Blockers are never terminated above the sleep threshold.
    static std::int64_t effectiveTerminatePercent(std::int64_t storedTerminate, std::int64_t storedForceSleep);
    /// At or below this the battery is watched every minute.
    static std::int64_t watchPercent(std::int64_t storedForceSleep);
};

}  // namespace torvel
