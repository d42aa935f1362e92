#include "UI/SettingsRanges.h"

#include <array>
#include <utility>

namespace torvel {

std::optional<IntegerRange> offeredRange(std::string_view key) {
    // Below 11 % the battery floor stops every session anyway; above 50 % a limit refuses most work.
    // The emergency thresholds are clamped to 0-20 where they are used.
    static constexpr std::array<std::pair<std::string_view, IntegerRange>, 5> ranges{{
        {"batteryLimitPercent", {11, 50}},
        {"predictiveBatteryMinutes", {5, 60}},
        {"guardianHours", {1, 24}},
        {"emergencyForceSleepPercent", {0, 20}},
        {"emergencyTerminateBlockersPercent", {0, 20}},
    }};
    for (const auto& [name, range] : ranges)
        if (name == key) return range;
    return std::nullopt;
}

}  // namespace torvel
