#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace torvel {

/// The tabs of the settings window, in their order.
enum class SettingsTab { general, activation, battery, audio, profiles };

inline constexpr std::array<SettingsTab, 5> kAllSettingsTabs = {SettingsTab::general, SettingsTab::activation,
                                                                SettingsTab::battery, SettingsTab::audio,
                                                                SettingsTab::profiles};

/// The tab's name as callers ask for it ("battery").
std::string_view rawValue(SettingsTab tab);
/// The tab named `raw`; the general tab for no name or an unknown one.
SettingsTab settingsTabNamed(std::optional<std::string_view> raw);
/// The text key of the tab's label ("settings.tab.battery").
std::string_view labelKey(SettingsTab tab);

}  // namespace torvel
