#include "Core/EmergencyPowerPolicy.h"

#include <algorithm>

namespace torvel {

std::string_view toString(EmergencyPowerAction action) {
    switch (action) {
        case EmergencyPowerAction::none: return "none";
        case EmergencyPowerAction::forceSleep: return "forceSleep";
        case EmergencyPowerAction::terminateBlockersThenSleep: return "terminateBlockersThenSleep";
    }
    return "none";
}

EmergencyPowerAction EmergencyPowerPolicy::decide(const Input& input) {
    if (!input.hasBattery || input.isOnACPower || !input.hasBlockers || input.inCooldown ||
        input.forceSleepPercent < 1)
        return EmergencyPowerAction::none;
    if (input.terminateBlockersPercent >= 1 && input.batteryPercent < input.terminateBlockersPercent)
        return EmergencyPowerAction::terminateBlockersThenSleep;
    if (input.batteryPercent < input.forceSleepPercent) return EmergencyPowerAction::forceSleep;
    return EmergencyPowerAction::none;
}

std::int64_t EmergencyPowerPolicy::forceSleepPercent(std::int64_t stored) {
    return std::clamp<std::int64_t>(stored, 0, kHighestThreshold);
}

std::int64_t EmergencyPowerPolicy::effectiveTerminatePercent(std::int64_t storedTerminate,
                                                             std::int64_t storedForceSleep) {
    return std::min({std::max<std::int64_t>(storedTerminate, 0), std::max<std::int64_t>(storedForceSleep, 0),
                     kHighestThreshold});
}

std::int64_t EmergencyPowerPolicy::watchPercent(std::int64_t storedForceSleep) {
    if (storedForceSleep <= 0) return kLowestWatchThreshold;
    return std::clamp(storedForceSleep, kLowestWatchThreshold, kHighestThreshold);
}

}  // namespace torvel
