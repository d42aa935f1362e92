#include "Core/Settings.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "Models/TrustedNetwork.h"

namespace torvel {

namespace {

using V = SettingsValues;
using R = SettingRule;
using C = SettingChange;

// Below 11 % the battery floor stops every session anyway; above 50 % a limit refuses most work.
constexpr SettingRange kBatteryLimit{11, 50};
// The emergency thresholds sit below the battery floor; 0 switches blocker termination off.
constexpr SettingRange kEmergencyPercent{0, 20};
constexpr SettingRange kVolume{0, 1};

// Table order is load order.
const std::vector<SettingDescriptor> kRows = {
    {"autoActivateOnExternalDisplay", R::F, C::reevaluate, &V::autoActivateOnExternalDisplay},
    {"autoActivateOnMirroring", R::F, C::reevaluate, &V::autoActivateOnMirroring},
    {"batteryLimitEnabled", R::T, C::reevaluate, &V::batteryLimitEnabled},
    {"batteryLimitPercent", R::I, C::reevaluate, &V::batteryLimitPercent, kBatteryLimit},
    {"resumeOnCharger", R::T, C::none, &V::resumeOnCharger},
    {"predictiveBatteryWarning", R::T, C::none, &V::predictiveBatteryWarning},
    {"predictiveBatteryMinutes", R::I, C::none, &V::predictiveBatteryMinutes, SettingRange{5, 60}},
    {"showRemainingTime", R::T, C::none, &V::showRemainingTime},
    {"showBatteryEstimate", R::F, C::none, &V::showBatteryEstimate},
    {"preventDisplaySleep", R::F, C::reevaluate, &V::preventDisplaySleep},
    {"preventScreenSaver", R::F, C::reevaluate, &V::preventScreenSaver},
    {"lidCloseSoundEnabled", R::T, C::none, &V::lidCloseSoundEnabled},
    {"lidCloseSoundVolume", R::R, C::none, &V::lidCloseSoundVolume, kVolume},
    {"heartbeatPipEnabled", R::T, C::none, &V::heartbeatPipEnabled},
    {"heartbeatPipVolume", R::R, C::none, &V::heartbeatPipVolume, kVolume},
    {"heartbeatPipDecayEnabled", R::T, C::none, &V::heartbeatPipDecayEnabled},
    {"guardianEnabled", R::T, C::none, &V::guardianEnabled},
    {"guardianHours", R::I, C::none, &V::guardianHours, SettingRange{1, 24}},
    {"hasSeenOnboarding", R::F, C::none, &V::hasSeenOnboarding},
    {"trustedNetworkActivationEnabled", R::F, C::trustedNetworkActivation,
     &V::trustedNetworkActivationEnabled},
    {"trustedNetworkAssertionType", R::S, C::reevaluate, &V::trustedNetworkAssertionType},
    {"thermalKillSwitchEnabled", R::T, C::reevaluate, &V::thermalKillSwitchEnabled},
    {"autoEnableLowPowerModeOnLidClose", R::T, C::none, &V::autoEnableLowPowerModeOnLidClose},
    {"preferStayguardClamshellDefeat", R::T, C::reevaluate, &V::preferStayguardClamshellDefeat},
    {"processTriggerEnabled", R::F, C::processTrigger, &V::processTriggerEnabled},
    {"emergencyPowerEnabled", R::T, C::emergencyPower, &V::emergencyPowerEnabled},
    {"emergencyForceSleepPercent", R::I, C::emergencyForceSleep, &V::emergencyForceSleepPercent,
     kEmergencyPercent},
    {"emergencyTerminateBlockersPercent", R::I, C::none, &V::emergencyTerminateBlockersPercent,
     kEmergencyPercent},
    {"emergencyAlarmEnabled", R::T, C::emergencyAlarm, &V::emergencyAlarmEnabled},
    {"processTriggerAssertionType", R::S, C::reevaluate, &V::processTriggerAssertionType},
    {"language", R::S, C::language, &V::language},
};

template <typename T>
const T* as(const std::optional<DefaultsValue>& value) {
    return value ? std::get_if<T>(&*value) : nullptr;
}

// `value` within the row's range; logs what it was when it was not.
template <typename T>
T withinRange(const SettingDescriptor& row, T value, const Logger& log) {
    if (!row.range) return value;
    const T min = static_cast<T>(row.range->min), max = static_cast<T>(row.range->max);
    if (value >= min && value <= max) return value;
    const T clamped = value < min ? min : max;
    log.error("Stored {} {} is outside {} to {}; using {}", row.key, value, min, max, clamped);
    return clamped;
}

// Reads one row into `values`, leaving the default where the stored value does not fit.
void loadRow(const DefaultsStore& store, const SettingDescriptor& row, V& values, const Logger& log) {
    const auto stored = store.object(row.key);
    std::visit(
        [&](auto member) {
            using T = std::remove_cvref_t<decltype(values.*member)>;
            if constexpr (std::is_same_v<T, bool>) {
                if (row.rule == R::F)
                    values.*member = store.boolValue(row.key);
                else if (auto b = as<bool>(stored))
                    values.*member = *b;
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                if (auto i = as<std::int64_t>(stored)) values.*member = withinRange(row, *i, log);
            } else if constexpr (std::is_same_v<T, float>) {
                // A volume: any finite number; integers count (1 is full volume).
                if (auto d = as<double>(stored); d && std::isfinite(*d)) {
                    values.*member = static_cast<float>(withinRange(row, *d, log));
                } else if (auto i = as<std::int64_t>(stored)) {
                    values.*member = static_cast<float>(withinRange(row, static_cast<double>(*i), log));
                }
            } else if constexpr (std::is_same_v<T, AssertionType>) {
                if (auto s = as<std::string>(stored)) {
                    if (auto type = assertionTypeFromRaw(*s)) values.*member = *type;
                }
            } else {
                if (auto s = as<std::string>(stored)) {
                    if (auto language = appLanguageFromRaw(*s)) values.*member = *language;
                }
            }
        },
        row.member);
}

}  // namespace

const std::vector<SettingDescriptor>& settingDescriptors() {
    return kRows;
}

const SettingDescriptor* settingDescriptor(std::string_view key) {
    for (const auto& row : kRows) {
        if (row.key == key) return &row;
    }
    return nullptr;
}

const SettingDescriptor& settingDescriptor(const SettingMember& member) {
    for (const auto& row : kRows) {
        if (row.member == member) return row;
    }
    // Every member of SettingsValues but the lists has a row; reaching here is a programming error.
    std::abort();
}

SettingsValues loadSettings(DefaultsStore& store, const Logger& log, Date now) {
    SettingsValues values;
    for (const auto& row : kRows) loadRow(store, row, values, log);
    // A network dropped here would silently stop being trusted: only the damaged entries are left out.
    values.trustedNetworks = loadStoredList<TrustedNetwork>(
        store, kTrustedNetworksKey,
        [](std::string_view text, std::string* error, std::vector<TrustedNetwork>* readable) {
            auto list = trustedNetworksFromJson(text, readable);
            if (!list) *error = list.error();
            return list;
        },
        log, now);
    return values;
}

std::optional<std::string> keepUnreadableAside(DefaultsStore& store, std::string_view key, Date now) {
    const std::string base = std::string(key) + ".unreadable." + now.toString();
    std::string aside = base;
    for (int n = 2; store.object(aside) || store.unreadable(aside); ++n)
        aside = base + "-" + std::to_string(n);
    if (!store.copy(key, aside)) return std::nullopt;
    return aside;
}

void keepUnreadableList(DefaultsStore& store, std::string_view key, std::size_t kept, const std::string& why,
                        const Logger& log, Date now) {
    if (kept == 0) {
        log.error("Failed to decode {}, starting with an empty list: {}", key, why);
    } else {
        log.error("Failed to decode {}, keeping the {} entries that decode: {}", key, kept, why);
    }
    if (const auto aside = keepUnreadableAside(store, key, now)) {
        log.error("The stored {} is kept under \"{}\" in the settings", key, *aside);
    } else {
        log.error("Could not keep the stored {} aside; the next change of the list replaces it", key);
    }
}

DefaultsWrite storeSetting(DefaultsStore& store, const SettingDescriptor& row, const SettingsValues& values) {
    return std::visit(
        [&](auto member) {
            using T = std::remove_cvref_t<decltype(values.*member)>;
            const T& value = values.*member;
            if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, std::int64_t>) {
                return store.set(row.key, value);
            } else if constexpr (std::is_same_v<T, float>) {
                return store.set(row.key, static_cast<double>(value));
            } else {
                return store.set(row.key, std::string(rawValue(value)));
            }
        },
        row.member);
}

std::string settingText(const SettingDescriptor& row, const SettingsValues& values) {
    return std::visit(
        [&](auto member) -> std::string {
            using T = std::remove_cvref_t<decltype(values.*member)>;
            const T& value = values.*member;
            if constexpr (std::is_same_v<T, bool>)
                return value ? "true" : "false";
            else if constexpr (std::is_same_v<T, std::int64_t>)
                return std::to_string(value);
            else if constexpr (std::is_same_v<T, float>)
                return fmt::format("{}", value);
            else
                return std::string(rawValue(value));
        },
        row.member);
}

std::string settingHelpKey(const SettingDescriptor& row) {
    // Text keys are lower case with underscores: batteryLimitPercent -> battery_limit_percent.
    std::string key = std::string("settings") + ".help.";
    for (const char c : row.key) {
        if (c >= 'A' && c <= 'Z') {
            key += '_';
            key += static_cast<char>(c - 'A' + 'a');
        } else {
            key += c;
        }
    }
    return key;
}

std::string settingTypeDescription(const SettingDescriptor& row) {
    return std::visit(
        [&](auto member) -> std::string {
            using T = std::remove_cvref_t<decltype(std::declval<V&>().*member)>;
            if constexpr (std::is_same_v<T, bool>)
                return "a Boolean (true or false)";
            else if constexpr (std::is_same_v<T, std::int64_t>)
                return row.range ? fmt::format("an integer from {} to {}", row.range->min, row.range->max)
                                 : "an integer";
            else if constexpr (std::is_same_v<T, float>)
                return fmt::format("a number from {} to {}", row.range->min, row.range->max);
            else if constexpr (std::is_same_v<T, AssertionType>)
                return "one of noIdleSleep, noSystemSleep, noDisplaySleep";
            else
                return "one of system, en, cs";
        },
        row.member);
}

std::optional<std::string> parseSetting(const SettingDescriptor& row, std::string_view text,
                                        SettingsValues& values) {
    const auto wrong = [&] { return fmt::format("{} expects {}", row.key, settingTypeDescription(row)); };
    const auto inRange = [&](auto value) {
        const auto number = static_cast<double>(value);
        return !row.range || (number >= row.range->min && number <= row.range->max);  // NaN is refused
    };
    return std::visit(
        [&](auto member) -> std::optional<std::string> {
            using T = std::remove_cvref_t<decltype(values.*member)>;
            if constexpr (std::is_same_v<T, bool>) {
                if (text == "true")
                    values.*member = true;
                else if (text == "false")
                    values.*member = false;
                else
                    return wrong();
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                std::int64_t parsed = 0;
                auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
                if (ec != std::errc() || end != text.data() + text.size() || text.empty() || !inRange(parsed))
                    return wrong();
                values.*member = parsed;
            } else if constexpr (std::is_same_v<T, float>) {
                double parsed = 0;
                auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
                if (ec != std::errc() || end != text.data() + text.size() || !inRange(parsed)) return wrong();
                values.*member = static_cast<float>(parsed);
            } else if constexpr (std::is_same_v<T, AssertionType>) {
                auto type = assertionTypeFromRaw(text);
                if (!type) return wrong();
                values.*member = *type;
            } else {
                auto language = appLanguageFromRaw(text);
                if (!language) return wrong();
                values.*member = *language;
            }
            return std::nullopt;
        },
        row.member);
}

}  // namespace torvel
