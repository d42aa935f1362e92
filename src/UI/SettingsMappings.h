#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Models/Calendar.h"
#include "Models/Duration.h"
#include "Models/Profile.h"

namespace torvel {

class Localization;

/// How the settings window's controls stand for stored values, and the texts of its rows. No toolkit.
namespace SettingsMappings {

/// The threshold the "quit blocking apps first" switch sets when turned on.
inline constexpr std::int64_t kTerminateBlockersPercentWhenOn = 3;
/// The volume sliders' positions: 0 to this, standing for 0 to 1.
inline constexpr int kVolumeSliderMax = 100;
/// The predictive warning's minutes move in steps of this many.
inline constexpr std::int64_t kPredictiveMinutesStep = 5;

/// The switch shows on while any threshold is set.
bool terminateBlockersOn(std::int64_t percent);
/// The threshold stored for the switch's position: the fixed value when on, 0 when off.
std::int64_t terminateBlockersPercent(bool on);

/// The slider position of a stored volume (clamped to 0..1, rounded to the nearest position).
int volumeSliderPosition(float volume);
/// The volume stored for a slider position.
float volumeForSliderPosition(int position);
/// The volume as shown beside its slider: the volume × 100 truncated, and a percent sign ("40%").
std::string volumeText(float volume, std::string_view languageCode);

/// A percentage as shown beside a slider: "20%", or "20 %" (a no-break space) in Czech, as Czech
/// writes it.
std::string percentText(std::int64_t percent, std::string_view languageCode);

/// The title a duration has in the menu: the preset's text, the compact time of a custom length, or
/// "until HH:MM" in `calendar`'s zone.
std::string durationTitle(const Duration& duration, const Localization& texts, const Calendar& calendar);
/// A profile row's second line: its duration's title and its assertion's label, joined by " · ".
std::string profileSummary(const Profile& profile, const Localization& texts, const Calendar& calendar);
/// A profile row's battery line: the global limit, no limit (0), or its own limit.
std::string profileBatteryText(const Profile& profile, const Localization& texts);

}  // namespace SettingsMappings

}  // namespace torvel
