#include "UI/SettingsTab.h"

namespace torvel {

std::string_view rawValue(SettingsTab tab) {
    switch (tab) {
        case SettingsTab::general:
            return "general";
        case SettingsTab::activation:
            return "activation";
        case SettingsTab::battery:
            return "battery";
        case SettingsTab::audio:
            return "audio";
        case SettingsTab::profiles:
            return "profiles";
    }
    return "general";
}

SettingsTab settingsTabNamed(std::optional<std::string_view> raw) {
    if (raw) {
        for (const auto tab : kAllSettingsTabs) {
            if (rawValue(tab) == *raw) return tab;
        }
    }
    return SettingsTab::general;
}

std::string_view labelKey(SettingsTab tab) {
    switch (tab) {
        case SettingsTab::general:
            return "settings.tab.general";
        case SettingsTab::activation:
            return "settings.tab.activation";
        case SettingsTab::battery:
            return "settings.tab.battery";
        case SettingsTab::audio:
            return "settings.tab.audio";
        case SettingsTab::profiles:
            return "settings.tab.profiles";
    }
    return "settings.tab.general";
}

}  // namespace torvel
