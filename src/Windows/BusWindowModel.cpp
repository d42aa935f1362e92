#include "Windows/BusWindowModel.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QVariantMap>
#include <algorithm>
#include <cmath>

#include "Core/Settings.h"
#include "Models/AssertionType.h"
#include "Support/Localization.h"

namespace torvel {

namespace {

constexpr const char* kService = "com.torvel.Torvel";
constexpr const char* kPath = "/com/torvel/Torvel";
constexpr const char* kInterface = "com.torvel.Torvel1";
constexpr const char* kErrorNotSaved = "com.torvel.Torvel1.Error.NotSaved";
// Longer than any Wi-Fi network's name on the air: Torvel refuses it too.
constexpr std::size_t kMaxSSIDBytes = 32;

QString qtext(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

/// The editor's fields of `profile` as CreateProfile and EditProfile take them; a custom length has no
/// name there and is left out (an edit then keeps the one stored).
QVariantMap profileFields(const Profile& profile) {
    QVariantMap fields{{"assertionType", qtext(rawValue(profile.assertionType))},
                       {"batteryLimitOverride", profile.batteryLimitOverride.value_or(-1)}};
    const auto kind = profile.duration.kind();
    if (kind != Duration::Kind::custom && kind != Duration::Kind::until)
        fields.insert("duration", qtext(Duration::caseName(kind)));
    return fields;
}

}  // namespace

BusWindowModel::BusWindowModel(QDBusConnection bus, const Localization& texts, const Clock& clock,
                               LogSink& log, QObject* parent)
    : QObject(parent),
      bus_(std::move(bus)),
      texts_(texts),
      clock_(clock),
      log_(log, "Windows"),
      values_(Logger(log, "Windows")) {}

bool BusWindowModel::load(QString& error) {
    // Followed before the first reading, so that no change falls between the two.
    bus_.connect(kService, kPath, "org.freedesktop.DBus.Properties", "PropertiesChanged", this,
                 SLOT(handlePropertiesChanged(QString, QVariantMap, QStringList)));
    auto getAll =
        QDBusMessage::createMethodCall(kService, kPath, "org.freedesktop.DBus.Properties", "GetAll");
    getAll << QString::fromLatin1(kInterface);
    const QDBusReply<QVariantMap> reply = bus_.call(getAll, QDBus::Block, 10000);
    if (!reply.isValid()) {
        error = reply.error().message();
        return false;
    }
    values_.apply(reply.value());
    stored_ = values_.settings;
    return true;
}

void BusWindowModel::handlePropertiesChanged(const QString& interface, const QVariantMap& changed,
                                             const QStringList&) {
    if (interface == QLatin1String(kInterface)) take(changed);
}

void BusWindowModel::take(const QVariantMap& properties) {
    const auto changes = values_.apply(properties);
    if (properties.contains("Settings") || properties.contains("TrustedNetworks")) stored_ = values_.settings;
    if (changes.language && languageChanged) languageChanged();
    for (const auto& key : changes.settingKeys) settingChanged.emit(key);
    if (changes.watchedApps) settingChanged.emit("watchedApps");
    if (changes.activation) activationChanged.emit();
    if (changes.profiles) profilesChanged.emit();
    if (changes.wifi) wifiStateChanged.emit();
    if (changes.runningApps || changes.watchedApps) runningAppsChanged.emit();
    if (changes.stayguard) stayguardChanged.emit();
    if (changes.emergency) emergencyChanged.emit();
    if (changes.loginItem) loginItemChanged.emit();
}

void BusWindowModel::call(const char* method, const QVariantList& args,
                          std::function<void(const QString&, const QString&)> failed) {
    auto message = QDBusMessage::createMethodCall(kService, kPath, kInterface, QString::fromLatin1(method));
    message.setArguments(args);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, method, failed = std::move(failed)] {
                watcher->deleteLater();
                if (!watcher->isError()) return;
                const auto error = watcher->error();
                log_.info("Torvel refused {}: {}", method, error.message().toStdString());
                if (failed) failed(error.name(), error.message());
            });
}

template <typename T>
std::optional<SettingRefusal> BusWindowModel::write(T SettingsValues::*member, T value) {
    const SettingDescriptor& row = settingDescriptor(SettingMember(member));
    SettingsValues next = values_.settings;
    next.*member = value;
    const std::string text = settingText(row, next);
    // Checked here first, as Torvel checks it: a value out of range is refused without a call.
    SettingsValues probe = next;
    if (auto error = parseSetting(row, text, probe))
        return SettingRefusal{SettingRefusal::Reason::badInput, *error};
    values_.settings.*member = value;
    settingChanged.emit(row.key);
    call("SetSetting", {qtext(row.key), qtext(text)},
         [this, member, key = row.key](const QString& name, const QString& message) {
             values_.settings.*member = stored_.*member;
             settingChanged.emit(key);
             const auto reason = name == QLatin1String(kErrorNotSaved) ? SettingRefusal::Reason::notSaved
                                                                       : SettingRefusal::Reason::badInput;
             settingRefused.emit(SettingRefusal{reason, message.toStdString()});
         });
    return std::nullopt;
}

std::optional<SettingRefusal> BusWindowModel::set(bool SettingsValues::*member, bool value) {
    return write(member, value);
}
std::optional<SettingRefusal> BusWindowModel::set(std::int64_t SettingsValues::*member, std::int64_t value) {
    return write(member, value);
}
std::optional<SettingRefusal> BusWindowModel::set(float SettingsValues::*member, float value) {
    return write(member, value);
}
std::optional<SettingRefusal> BusWindowModel::set(AssertionType SettingsValues::*member,
                                                  AssertionType value) {
    return write(member, value);
}
std::optional<SettingRefusal> BusWindowModel::set(AppLanguage SettingsValues::*member, AppLanguage value) {
    return write(member, value);
}

void BusWindowModel::activate(const Duration& duration) {
    if (duration.kind() == Duration::Kind::indefinite)
        return call("Activate", {QString("indefinite"), QString()});
    const auto seconds = duration.timeInterval(clock_.now());
    if (!seconds || *seconds < 1) {
        log_.info("A session of {} was asked for, which has run out already", duration.toString());
        return;
    }
    call("Activate", {QString("duration"), QString::number(std::llround(*seconds))});
}

void BusWindowModel::saveEditedProfile(const Profile& profile) {
    QVariantMap fields = profileFields(profile);
    const auto known = std::find_if(values_.profiles.begin(), values_.profiles.end(),
                                    [&](const Profile& p) { return p.id == profile.id; });
    if (known == values_.profiles.end()) {
        fields.insert("name", qtext(profile.name));
        return call("CreateProfile", {fields});
    }
    // A built-in profile keeps its translated name while the user leaves the name alone.
    if (profile.name != known->name) fields.insert("name", qtext(profile.name));
    call("EditProfile", {qtext(profile.id.toString()), fields});
}

void BusWindowModel::duplicateProfile(const Uuid& id) {
    call("DuplicateProfile", {qtext(id.toString())});
}

void BusWindowModel::deleteProfile(const Uuid& id) {
    call("DeleteProfile", {qtext(id.toString())});
}

void BusWindowModel::setProfiles(std::vector<Profile> profiles) {
    QStringList ids;
    for (const auto& profile : profiles) ids << qtext(profile.id.toString());
    call("SetProfileOrder", {ids});
}

bool BusWindowModel::addTrustedNetwork(const std::string& ssid) {
    const QString name = QString::fromStdString(ssid).trimmed();
    const auto& known = values_.settings.trustedNetworks;
    const bool taken = std::any_of(known.begin(), known.end(),
                                   [&](const TrustedNetwork& n) { return qtext(n.ssid) == name; });
    if (name.isEmpty() || taken || name.toUtf8().size() > static_cast<qsizetype>(kMaxSSIDBytes)) return false;
    call("AddTrustedNetwork", {name});
    return true;
}

void BusWindowModel::removeTrustedNetwork(const std::string& ssid) {
    call("RemoveTrustedNetwork", {qtext(ssid)});
}

std::string BusWindowModel::wifiStatusText() const {
    const auto& status = values_.wifiStatus;
    if (status.kind != TrustedWiFiStatus::Kind::connected) return texts_.text(status.settingsKey());
    return texts_.format(status.settingsKey(), {status.ssid});
}

void BusWindowModel::refreshWiFiState() {
    call("RefreshWiFi", {});
}

void BusWindowModel::setWatchedApps(std::vector<WatchedApp> apps) {
    auto contains = [](const std::vector<WatchedApp>& list, const std::string& id) {
        return std::any_of(list.begin(), list.end(),
                           [&](const WatchedApp& app) { return app.desktopId == id; });
    };
    for (const auto& app : values_.watchedApps)
        if (!contains(apps, app.desktopId)) call("UnwatchApp", {qtext(app.desktopId)});
    for (const auto& app : apps)
        if (!contains(values_.watchedApps, app.desktopId)) call("WatchApp", {qtext(app.desktopId)});
}

void BusWindowModel::setRunningAppsShown(bool shown) {
    call("SetRunningAppsShown", {shown});
    // What was heard of the list may be old: read it afresh (the answer comes as a change).
    if (shown) {
        auto get = QDBusMessage::createMethodCall(kService, kPath, "org.freedesktop.DBus.Properties", "Get");
        get << QString::fromLatin1(kInterface) << QStringLiteral("RunningApps");
        auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
            watcher->deleteLater();
            const QDBusPendingReply<QDBusVariant> reply = *watcher;
            if (reply.isValid()) take({{"RunningApps", reply.value().variant()}});
        });
    }
}

void BusWindowModel::installStayguard() {
    call("InstallStayguard", {});
}

void BusWindowModel::checkLidHolders() {
    call("CheckLidHolders", {});
}

void BusWindowModel::setStartsAtLogin(bool enabled) {
    auto message = QDBusMessage::createMethodCall(kService, kPath, kInterface, "SetStartsAtLogin");
    message << enabled;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        // The answer is what holds (the old state after a refusal, which Torvel tells the user); the
        // switch follows it, and the change signal that may come after it then changes nothing.
        const QDBusPendingReply<bool> reply = *watcher;
        if (reply.isValid()) values_.startsAtLogin = reply.value();
        else log_.info("Torvel refused SetStartsAtLogin: {}", reply.error().message().toStdString());
        loginItemChanged.emit();
    });
}

void BusWindowModel::resolveAutomationConsent() {
    call("ResolveAutomationConsent", {});
}

}  // namespace torvel
