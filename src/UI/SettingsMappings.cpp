#include "UI/SettingsMappings.h"

#include <algorithm>
#include <cmath>

#include "Support/Localization.h"
#include "UI/DurationTexts.h"

namespace torvel::SettingsMappings {

bool terminateBlockersOn(std::int64_t percent) {
    return percent > 0;
}

std::int64_t terminateBlockersPercent(bool on) {
    return on ? kTerminateBlockersPercentWhenOn : 0;
}

int volumeSliderPosition(float volume) {
    // A stored NaN reads as silence rather than as an undefined cast.
    if (!std::isfinite(volume)) return 0;
    return static_cast<int>(std::lround(std::clamp(volume, 0.0f, 1.0f) * kVolumeSliderMax));
}

float volumeForSliderPosition(int position) {
    return static_cast<float>(std::clamp(position, 0, kVolumeSliderMax)) / kVolumeSliderMax;
}

std::string volumeText(float volume, std::string_view languageCode) {
    const float shown = std::isfinite(volume) ? std::clamp(volume, 0.0f, 1.0f) : 0.0f;
    // Computed in double so that 0.29f shows 29, not 28 (0.29f * 100 in float is 28.999...).
    const auto percent = static_cast<int>(std::trunc(static_cast<double>(shown) * 100.0 + 1e-6));
    return percentText(percent, languageCode);
}

std::string percentText(std::int64_t percent, std::string_view languageCode) {
    return std::to_string(percent) + (languageCode == "cs" ? "\u00A0%" : "%");
}

std::string durationTitle(const Duration& duration, const Localization& texts, const Calendar& calendar) {
    switch (duration.kind()) {
        case Duration::Kind::custom:
            return Duration::formatInterval(duration.customSeconds(), durationLookup(texts));
        case Duration::Kind::until:
            return texts.format("duration.until", {calendar.formatHourMinute(duration.untilDate())});
        default:
            return texts.text(Duration::titleKey(duration.kind()));
    }
}

std::string profileSummary(const Profile& profile, const Localization& texts, const Calendar& calendar) {
    return durationTitle(profile.duration, texts, calendar) + " \u00B7 " +
           texts.text(labelKey(profile.assertionType));
}

std::string profileBatteryText(const Profile& profile, const Localization& texts) {
    if (!profile.batteryLimitOverride) return texts.text("profile.battery_global");
    if (*profile.batteryLimitOverride == 0) return texts.text("profile.battery_disabled");
    return texts.format("profile.battery_limit_value",
                        {static_cast<long long>(*profile.batteryLimitOverride)});
}

}  // namespace torvel::SettingsMappings
