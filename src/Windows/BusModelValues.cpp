#include "Windows/BusModelValues.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QMap>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "Core/Settings.h"
#include "Models/AssertionType.h"

namespace torvel {

namespace {

std::string utf8(const QString& text) {
    return text.toStdString();
}

/// The D-Bus signature of a container value; empty for a basic one.
QString signatureOf(const QVariant& value) {
    if (value.metaType() != QMetaType::fromType<QDBusArgument>()) return {};
    return value.value<QDBusArgument>().currentSignature();
}

bool isString(const QVariant& value) {
    return value.metaType() == QMetaType::fromType<QString>();
}

/// A plain value nested in a{sv}; the bus may wrap it once more as a variant.
QVariant unwrapped(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusVariant>()) return value.value<QDBusVariant>().variant();
    return value;
}

std::optional<QStringList> stringList(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QStringList>()) return value.toStringList();
    if (signatureOf(value) != "as") return std::nullopt;
    QStringList list;
    value.value<QDBusArgument>() >> list;
    return list;
}

std::optional<QMap<QString, QString>> stringMap(const QVariant& value) {
    if (signatureOf(value) != "a{ss}") return std::nullopt;
    QMap<QString, QString> map;
    value.value<QDBusArgument>() >> map;
    return map;
}

std::optional<TrustedWiFiStatus> wifiStatusFrom(const QString& text) {
    using K = TrustedWiFiStatus::Kind;
    const auto colon = text.indexOf(':');
    if (colon > 0) {
        const QString head = text.left(colon);
        if (head != "trusted" && head != "connected") return std::nullopt;
        return TrustedWiFiStatus{K::connected, utf8(text.mid(colon + 1)), head == "trusted"};
    }
    static const std::pair<const char*, K> kinds[] = {{"wifiOff", K::wifiOff},
                                                      {"ssidUnavailable", K::ssidUnavailable},
                                                      {"locationDenied", K::locationDenied},
                                                      {"locationNotDetermined", K::locationNotDetermined},
                                                      {"locationUnsupported", K::locationUnsupported}};
    for (const auto& [name, kind] : kinds)
        if (text == QLatin1String(name)) return TrustedWiFiStatus{kind, {}, false};
    return std::nullopt;
}

/// One entry of the Profiles property; std::nullopt when any field is missing or does not read.
std::optional<Profile> profileFrom(const QVariantMap& fields) {
    const QVariant id = unwrapped(fields.value("id"));
    const QVariant name = unwrapped(fields.value("name"));
    const QVariant duration = unwrapped(fields.value("duration"));
    const QVariant seconds = unwrapped(fields.value("durationSeconds"));
    const QVariant assertion = unwrapped(fields.value("assertionType"));
    const QVariant limit = unwrapped(fields.value("batteryLimit"));
    const QVariant key = unwrapped(fields.value("nameKey"));
    if (!isString(id) || !isString(name) || !isString(duration) || !isString(assertion) ||
        seconds.metaType() != QMetaType::fromType<qlonglong>() ||
        limit.metaType() != QMetaType::fromType<int>())
        return std::nullopt;
    Profile profile;
    const auto uuid = Uuid::parse(utf8(id.toString()));
    const auto type = assertionTypeFromRaw(utf8(assertion.toString()));
    const int battery = limit.toInt();
    const qlonglong length = seconds.toLongLong();
    if (!uuid || !type || battery < -1 || battery > 100 || length < 0) return std::nullopt;
    profile.id = *uuid;
    profile.name = utf8(name.toString());
    profile.assertionType = *type;
    profile.batteryLimitOverride = battery < 0 ? std::nullopt : std::optional<int>(battery);
    if (isString(key) && !key.toString().isEmpty()) profile.localizationKey = utf8(key.toString());
    const QString kind = duration.toString();
    if (kind == "custom") {
        if (length == 0) return std::nullopt;
        profile.duration = Duration::custom(static_cast<double>(length));
        return profile;
    }
    if (kind == "until") return std::nullopt;  // not offered by the editor; its end is not sent
    for (int i = 0; i <= static_cast<int>(Duration::Kind::indefinite); ++i) {
        const auto each = static_cast<Duration::Kind>(i);
        if (kind == QLatin1String(Duration::caseName(each).data(), Duration::caseName(each).size())) {
            profile.duration = Duration::preset(each);
            return profile;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<Profile>> profilesFrom(const QVariant& value) {
    if (signatureOf(value) != "aa{sv}") return std::nullopt;
    QList<QVariantMap> list;
    value.value<QDBusArgument>() >> list;
    std::vector<Profile> profiles;
    for (const auto& fields : list) {
        auto profile = profileFrom(fields);
        if (!profile) return std::nullopt;
        profiles.push_back(std::move(*profile));
    }
    return profiles;
}

std::optional<std::vector<RunningAppInfo>> runningAppsFrom(const QVariant& value) {
    if (signatureOf(value) != "a(ssi)") return std::nullopt;
    const QDBusArgument argument = value.value<QDBusArgument>();
    std::vector<RunningAppInfo> apps;
    argument.beginArray();
    while (!argument.atEnd()) {
        QString id, name;
        qint32 pid = 0;
        argument.beginStructure();
        argument >> id >> name >> pid;
        argument.endStructure();
        apps.push_back({utf8(id), utf8(name), pid});
    }
    argument.endArray();
    return apps;
}

std::optional<PowerGrants> grantsFrom(const QVariant& value) {
    const auto names = stringList(value);
    if (!names) return std::nullopt;
    PowerGrants grants;
    for (const auto& name : *names) {
        if (name == "lidSwitch")
            grants.lidSwitch = true;
        else if (name == "suspend")
            grants.suspend = true;
        else if (name == "powerSaver")
            grants.powerSaver = true;
        else if (name == "noPowerSaver")
            grants.powerSaverAbsent = true;
        // A grant this version does not know of is left out; the others still count.
    }
    return grants;
}

/// std::nullopt (outer) when the text does not read; an inner std::nullopt for "no installation ended".
std::optional<std::optional<StayguardInstallResult>> installResultFrom(const QString& text) {
    using K = StayguardInstallResult::Kind;
    if (text.isEmpty()) return std::optional<StayguardInstallResult>();
    const QString head = text.section(':', 0, 0);
    const std::string message = text.contains(':') ? utf8(text.section(':', 1)) : std::string();
    static const std::pair<const char*, K> kinds[] = {{"success", K::success},
                                                      {"userCancelled", K::userCancelled},
                                                      {"resourceMissing", K::bundleResourceMissing},
                                                      {"validationFailed", K::validationFailed},
                                                      {"installFailed", K::installFailed}};
    for (const auto& [name, kind] : kinds)
        if (head == QLatin1String(name)) return std::optional<StayguardInstallResult>({kind, message});
    return std::nullopt;
}

std::optional<AutomationConsent> consentFrom(const QString& text) {
    if (text == "granted") return AutomationConsent::granted;
    if (text == "notAsked") return AutomationConsent::notAsked;
    if (text == "denied") return AutomationConsent::denied;
    return std::nullopt;
}

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
        const QVariant value = properties.value("LidHolders");
        if (signatureOf(value) == "a(sus)") {
            const QDBusArgument argument = value.value<QDBusArgument>();
            lidHolderList_.clear();
            argument.beginArray();
            while (!argument.atEnd()) {
                QString who, desktop;
                quint32 pid = 0;
                argument.beginStructure();
                argument >> who >> pid >> desktop;
                argument.endStructure();
                lidHolderList_.push_back({utf8(who), pid, utf8(desktop)});
            }
            argument.endArray();
        } else {
            reject("LidHolders", "not a list of (who, pid, desktop)");
        }
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
