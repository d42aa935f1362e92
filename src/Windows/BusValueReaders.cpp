#include "Windows/BusValueReaders.h"

#include <QDBusArgument>
#include <QDBusVariant>

#include "Models/AssertionType.h"

namespace torvel::busvalues {

std::string utf8(const QString& text) {
    return text.toStdString();
}

QString signatureOf(const QVariant& value) {
    if (value.metaType() != QMetaType::fromType<QDBusArgument>()) return {};
    return value.value<QDBusArgument>().currentSignature();
}

bool isString(const QVariant& value) {
    return value.metaType() == QMetaType::fromType<QString>();
}

/// A plain value nested in a{sv}; the bus may wrap it once more as a variant.
static QVariant unwrapped(const QVariant& value) {
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
static std::optional<Profile> profileFrom(const QVariantMap& fields) {
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
    if (kind == "until") {
        const QVariant until = unwrapped(fields.value("untilTime"));
        if (until.metaType() != QMetaType::fromType<qlonglong>() || until.toLongLong() <= 0) return std::nullopt;
        profile.duration = Duration::until(Date::fromUnixSeconds(static_cast<double>(until.toLongLong())));
        return profile;
    }
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

std::optional<std::vector<LidHolder>> lidHoldersFrom(const QVariant& value) {
    if (signatureOf(value) != "a(sus)") return std::nullopt;
    const QDBusArgument argument = value.value<QDBusArgument>();
    std::vector<LidHolder> holders;
    argument.beginArray();
    while (!argument.atEnd()) {
        QString who, desktop;
        quint32 pid = 0;
        argument.beginStructure();
        argument >> who >> pid >> desktop;
        argument.endStructure();
        holders.push_back({utf8(who), pid, utf8(desktop)});
    }
    argument.endArray();
    return holders;
}

}  // namespace torvel::busvalues
