#include "Windows/BusModelValues.h"

#include <algorithm>

#include "Core/Settings.h"
#include "Windows/BusValueReaders.h"

namespace torvel {

using namespace busvalues;

namespace {

/// Assigns `value` to `target`; true when that changed it.
template <typename T>
bool assign(T& target, T value) {
    if (target == value) return false;
    target = std::move(value);
    return true;
}

}  // namespace

BusModelValues::BusModelValues(Logger log) : log_(std::move(log)) {}

void BusModelValues::reject(const QString& property, const std::string& why) {
    if (!rejected_.insert(property).second) return;
    log_.error("The running Torvel sent a {} that does not read ({}); the windows keep the value they had",
               utf8(property), why);
}

BusModelValues::Changes BusModelValues::apply(const QVariantMap& properties) {
    Changes changes;
    // Each plain property: its reader, and what it changes.
    auto text = [&](const char* name, auto&& take) {
        if (!properties.contains(name)) return;
        const QVariant value = properties.value(name);
        if (!isString(value)) return reject(name, "not a string");
        if (!take(value.toString())) reject(name, "unknown value");
    };
    if (properties.contains("Settings")) applySettings(properties.value("Settings"), changes);
    if (properties.contains("TrustedNetworks")) {
        if (const auto names = stringList(properties.value("TrustedNetworks"))) {
            std::vector<TrustedNetwork> networks;
            for (const auto& name : *names) {
                // Kept by name: the windows list and remove them by name only.
                const auto known =
                    std::find_if(settings.trustedNetworks.begin(), settings.trustedNetworks.end(),
                                 [&](const TrustedNetwork& n) { return n.ssid == utf8(name); });
                networks.push_back(known != settings.trustedNetworks.end()
                                       ? *known
                                       : TrustedNetwork{Uuid(), utf8(name), {}});
            }
            if (assign(settings.trustedNetworks, std::move(networks)))
                changes.settingKeys.emplace_back(kTrustedNetworksKey);
        } else {
            reject("TrustedNetworks", "not a list of strings");
        }
    }
    if (properties.contains("Profiles")) {
        if (auto list = profilesFrom(properties.value("Profiles")))
            changes.profiles |= assign(profiles, std::move(*list));
        else
            reject("Profiles", "not a list of profiles as the interface gives them");
    }
    text("ProfileID", [&](const QString& id) {
        const auto uuid = id.isEmpty() ? std::optional<Uuid>() : Uuid::parse(utf8(id));
        if (!id.isEmpty() && !uuid) return false;
        changes.profiles |= assign(activeProfileID, uuid);
        return true;
    });
    text("WiFiStatus", [&](const QString& status) {
        const auto parsed = wifiStatusFrom(status);
        if (parsed) changes.wifi |= assign(wifiStatus, *parsed);
        return parsed.has_value();
    });
    text("CurrentSSID", [&](const QString& ssid) {
        changes.wifi |= assign(currentSSID, ssid.isEmpty() ? std::nullopt : std::optional(utf8(ssid)));
        return true;
    });
    if (properties.contains("RunningApps")) {
        if (auto apps = runningAppsFrom(properties.value("RunningApps")))
            changes.runningApps |= assign(runningApps, std::move(*apps));
        else
            reject("RunningApps", "not a list of (id, name, pid)");
    }
    applyWatchedApps(properties, changes);
    text("Stayguard", [&](const QString& status) {
        if (status != "installing" && status != "missing" && status != "incomplete" && status != "installed")
            return false;
        changes.stayguard |= assign(stayguardInstalling, status == "installing");
        changes.stayguard |= assign(stayguardInstalled, status == "installed" || status == "incomplete");
        return true;
    });
    if (properties.contains("StayguardGrants")) {
        if (const auto parsed = grantsFrom(properties.value("StayguardGrants")))
            changes.stayguard |= assign(grants, *parsed);
        else
            reject("StayguardGrants", "not a list of strings");
    }
    text("StayguardInstallResult", [&](const QString& result) {
        const auto parsed = installResultFrom(result);
        if (parsed) changes.stayguard |= assign(installResult, *parsed);
        return parsed.has_value();
    });
    applyLidHolders(properties, changes);
    text("AutomationConsent", [&](const QString& value) {
        const auto parsed = consentFrom(value);
        if (parsed) changes.emergency |= assign(consent, *parsed);
        return parsed.has_value();
    });
    // What the windows show of the session comes from the other properties; these only say it changed.
    for (const char* name : {"Active", "Reasons", "CountdownEnd", "AssertionType", "ProfileID"}) {
        if (!properties.contains(name)) continue;
        const QVariant value = properties.value(name);
        if (activation_.value(name) != value) changes.activation = true;
        activation_.insert(name, value);
    }
    if (properties.contains("StartsAtLogin")) {
        const QVariant value = properties.value("StartsAtLogin");
        if (value.metaType() == QMetaType::fromType<bool>())
            changes.loginItem |= assign(startsAtLogin, std::optional(value.toBool()));
        else
            reject("StartsAtLogin", "not a boolean");
    }
    text("Language", [&](const QString& code) {
        if (code != "en" && code != "cs") return false;
        changes.language |= assign(language, utf8(code));
        return true;
    });
    return changes;
}

void BusModelValues::applySettings(const QVariant& value, Changes& changes) {
    const auto map = stringMap(value);
    if (!map) return reject("Settings", "not a dictionary of strings");
    for (auto it = map->begin(); it != map->end(); ++it) {
        const SettingDescriptor* row = settingDescriptor(utf8(it.key()));
        // A setting of a newer Torvel: nothing here shows it.
        if (!row) continue;
        SettingsValues next = settings;
        if (auto error = parseSetting(*row, utf8(it.value()), next)) {
            reject("Settings", *error);
            continue;
        }
        if (settingText(*row, next) == settingText(*row, settings)) continue;
        settings = next;
        changes.settingKeys.emplace_back(row->key);
    }
}

void BusModelValues::applyWatchedApps(const QVariantMap& properties, Changes& changes) {
    if (properties.contains("WatchedApps")) {
        if (const auto ids = stringList(properties.value("WatchedApps"))) {
            watchedIds_.clear();
            for (const auto& id : *ids) watchedIds_.push_back(utf8(id));
        } else {
            reject("WatchedApps", "not a list of strings");
        }
    }
    if (properties.contains("WatchedAppNames")) {
        if (const auto names = stringMap(properties.value("WatchedAppNames"))) {
            watchedNames_.clear();
            for (auto it = names->begin(); it != names->end(); ++it)
                watchedNames_.emplace_back(utf8(it.key()), utf8(it.value()));
        } else {
            reject("WatchedAppNames", "not a dictionary of strings");
        }
    }
    std::vector<WatchedApp> apps;
    for (const auto& id : watchedIds_) {
        const auto named = std::find_if(watchedNames_.begin(), watchedNames_.end(),
                                        [&](const auto& each) { return each.first == id; });
        const auto kept = std::find_if(watchedApps.begin(), watchedApps.end(),
                                       [&](const WatchedApp& app) { return app.desktopId == id; });
        WatchedApp app = kept != watchedApps.end() ? *kept : WatchedApp{Uuid(), id, id, {}};
        if (named != watchedNames_.end() && !named->second.empty()) app.name = named->second;
        apps.push_back(std::move(app));
    }
    changes.watchedApps |= assign(watchedApps, std::move(apps));
}

void BusModelValues::applyLidHolders(const QVariantMap& properties, Changes& changes) {
    if (properties.contains("LidHolders")) {
        if (auto holders = lidHoldersFrom(properties.value("LidHolders")))
            lidHolderList_ = std::move(*holders);
        else
            reject("LidHolders", "not a list of (who, pid, desktop)");
    }
    if (properties.contains("LidHoldersKnown")) {
        const QVariant value = properties.value("LidHoldersKnown");
        if (value.metaType() == QMetaType::fromType<bool>())
            lidHoldersKnown_ = value.toBool();
        else
            reject("LidHoldersKnown", "not a Boolean");
    }
    changes.stayguard |= assign(lidHolders, lidHoldersKnown_ ? std::optional(lidHolderList_) : std::nullopt);
}

}  // namespace torvel
