#include "App/DBusProperties.h"

#include <QMetaObject>
#include <cmath>

#include "App/AppDelegate.h"
#include "App/DBusText.h"
#include "Services/LoginItemService.h"
#include "App/DBusService.h"
#include "Core/Settings.h"
#include "Core/SleepPreventionService.h"
#include "Core/TimerManager.h"
#include "Monitors/SleepBlockerMonitor.h"
#include "Services/NotificationService.h"
#include "State/AppState.h"
#include "State/Emergency/LowBatteryEmergency.h"
#include "Support/Localization.h"
#include "UI/AutomationActions.h"

namespace torvel {

namespace {


qlonglong unixSeconds(Date date) {
    return static_cast<qlonglong>(std::llround(date.unixSeconds()));
}

/// What a reading of one property may look at.
struct Reading {
    AppDelegate& app;
    const StatusItemPresentation& shown;
    const QVariant& runningApps;
    bool startsAtLogin;
    AppState& state() const { return app.state(); }
};

QStringList reasons(const Reading& r) {
    QStringList raw;
    if (r.state().isActive())
        for (auto reason : sortedForDisplay(r.state().activeReasons())) raw << qtext(rawValue(reason));
    return raw;
}

const Profile* activeProfile(const Reading& r) {
    const auto& id = r.state().activeProfileID();
    if (!id) return nullptr;
    for (const auto& profile : r.state().profileLibrary().profiles())
        if (profile.id == *id) return &profile;
    return nullptr;
}

QList<QVariantMap> profiles(const Reading& r) {
    QList<QVariantMap> list;
    for (const auto& profile : r.state().profileLibrary().profiles()) {
        const auto kind = profile.duration.kind();
        // A length only where it is fixed: an until profile's would change with every reading.
        const auto length =
            kind == Duration::Kind::until ? std::nullopt : profile.duration.timeInterval(Date());
        list.append(QVariantMap{
            {"id", qtext(profile.id.toString())},
            {"name", qtext(profile.name)},
            {"displayName",
             qtext(profile.localizationKey ? r.app.texts().text(*profile.localizationKey) : profile.name)},
            {"duration", qtext(Duration::caseName(kind))},
            {"durationSeconds", static_cast<qlonglong>(std::llround(length.value_or(0.0)))},
            {"assertionType", qtext(rawValue(profile.assertionType))},
            {"batteryLimit", static_cast<qint32>(profile.batteryLimitOverride.value_or(-1))},
            {"nameKey", qtext(profile.localizationKey.value_or(""))},
            // When an until profile's session ends (Unix seconds); 0 for every other kind.
            {"untilTime", kind == Duration::Kind::until
                              ? static_cast<qlonglong>(std::llround(profile.duration.untilDate().unixSeconds()))
                              : qlonglong{0}},
        });
    }
    return list;
}

QString wifiStatus(const Reading& r) {
    const auto status = r.state().trustedNetworks().status();
    using K = TrustedWiFiStatus::Kind;
    switch (status.kind) {
        case K::connected:
            return (status.trusted ? "trusted:" : "connected:") + qtext(status.ssid);
        case K::ssidUnavailable:
            return "ssidUnavailable";
        case K::wifiOff:
            return "wifiOff";
        case K::locationDenied:
            return "locationDenied";
        case K::locationNotDetermined:
            return "locationNotDetermined";
        case K::locationUnsupported:
            return "locationUnsupported";
    }
    return "wifiOff";
}

QString stayguard(const Reading& r) {
    const LidLock& lock = r.state().lidLock();
    if (lock.isInstallInProgress()) return "installing";
    if (!lock.isInstalled()) return "missing";
    const PowerGrants grants = lock.grants();
    return grants.suspend && (grants.powerSaver || grants.powerSaverAbsent) ? "installed" : "incomplete";
}

QList<DBusBlocker> blockers(const Reading& r) {
    QList<DBusBlocker> list;
    for (const auto& blocker : r.state().emergency().lastSleepBlockers()) {
        // The same test the emergency's termination makes before it signals anything.
        const bool terminable = blocker.pid > 0 && !blocker.processName.empty() &&
                                blocker.isOwnedByCurrentUser && !blocker.isSessionRelay &&
                                !SleepBlockerMonitor::isProtectedProcessName(blocker.processName) &&
                                !SleepBlockerMonitor::isProtectedProcessName(blocker.commName);
        list.append({blocker.pid, qtext(blocker.displayName()), qtext(toString(blocker.kind)),
                     qtext(blocker.assertionName), blocker.isSessionRelay, terminable});
    }
    return list;
}

DBusStringMap settingValues(const Reading& r) {
    // As ListSettings() and `torvel config get` give them, so a client reads them back the same way.
    DBusStringMap values;
    for (const auto& row : settingDescriptors())
        values.insert(qtext(row.key), qtext(settingText(row, r.state().settings())));
    return values;
}

DBusStringMap watchedAppNames(const Reading& r) {
    DBusStringMap names;
    for (const auto& app : r.state().processTrigger().watchedApps())
        names.insert(qtext(app.desktopId), qtext(app.name));
    return names;
}

QString automationConsent(const Reading& r) {
    switch (r.state().emergency().automationConsent()) {
        case AutomationConsent::granted:
            return "granted";
        case AutomationConsent::notAsked:
            return "notAsked";
        case AutomationConsent::denied:
            return "denied";
    }
    return "denied";
}

QStringList stayguardGrants(const Reading& r) {
    const PowerGrants grants = r.state().lidLock().grants();
    QStringList names;
    if (grants.lidSwitch) names << "lidSwitch";
    if (grants.suspend) names << "suspend";
    if (grants.powerSaver) names << "powerSaver";
    if (grants.powerSaverAbsent) names << "noPowerSaver";
    return names;
}

QString stayguardInstallResult(const Reading& r) {
    const auto& result = r.state().lidLock().lastInstallResult();
    if (!result) return {};
    using K = StayguardInstallResult::Kind;
    switch (result->kind) {
        case K::success:
            return "success";
        case K::userCancelled:
            return "userCancelled";
        case K::bundleResourceMissing:
            return "resourceMissing";
        case K::validationFailed:
            return "validationFailed:" + qtext(result->message);
        case K::installFailed:
            return "installFailed:" + qtext(result->message);
    }
    return {};
}

QList<DBusLidHolder> lidHolders(const Reading& r) {
    QList<DBusLidHolder> list;
    for (const auto& holder : r.state().lidLock().otherLidHolders().value_or(std::vector<LidHolder>{}))
        list.append({qtext(holder.who), holder.pid, qtext(holder.desktop)});
    return list;
}

QVariant readRunningApps(AppDelegate& app) {
    QList<DBusRunningApp> apps;
    for (const auto& each : AutomationActions::suggestedApps(&app.state()))
        apps.append({qtext(each.desktopId), qtext(each.name), each.pid});
    return QVariant::fromValue(apps);
}

}  // namespace

QDBusArgument& operator<<(QDBusArgument& out, const DBusBlocker& blocker) {
    out.beginStructure();
    out << blocker.pid << blocker.name << blocker.kind << blocker.reason << blocker.sessionRelay
        << blocker.terminable;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, DBusBlocker& blocker) {
    in.beginStructure();
    in >> blocker.pid >> blocker.name >> blocker.kind >> blocker.reason >> blocker.sessionRelay >>
        blocker.terminable;
    in.endStructure();
    return in;
}

QDBusArgument& operator<<(QDBusArgument& out, const DBusLidHolder& holder) {
    out.beginStructure();
    out << holder.who << holder.pid << holder.desktop;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, DBusLidHolder& holder) {
    in.beginStructure();
    in >> holder.who >> holder.pid >> holder.desktop;
    in.endStructure();
    return in;
}

struct DBusProperties::Entry {
    const char* name;
    QVariant (*read)(const Reading&);
};

const std::vector<DBusProperties::Entry>& DBusProperties::entries() {
    using R = const Reading&;
    static const std::vector<Entry> table = {
        {"Active", [](R r) -> QVariant { return r.state().isActive(); }},
        {"Reasons", [](R r) -> QVariant { return reasons(r); }},
        {"AssertionType",
         [](R r) -> QVariant {
             const auto type = r.state().currentAssertionType();
             return type ? qtext(rawValue(*type)) : QString();
         }},
        {"CountdownEnd",
         [](R r) -> QVariant {
             const auto end = r.app.timer().targetDate();
             return r.app.timer().isRunning() && end ? unixSeconds(*end) : qlonglong{0};
         }},
        {"RemainingText",
         [](R r) -> QVariant { return qtext(r.shown.title).mid(r.shown.title.empty() ? 0 : 1); }},
        {"StatusText", [](R r) -> QVariant { return qtext(r.shown.accessibleText); }},
        {"TooltipTitle", [](R r) -> QVariant { return qtext(r.shown.tooltipTitle); }},
        {"IconName", [](R r) -> QVariant { return qtext(r.shown.iconName); }},
        {"NeedsAttention", [](R r) -> QVariant { return r.shown.needsAttention; }},
        {"ProfileID",
         [](R r) -> QVariant {
             const auto& id = r.state().activeProfileID();
             return id ? qtext(id->toString()) : QString();
         }},
        {"Profile",
         [](R r) -> QVariant {
             const Profile* profile = activeProfile(r);
             return profile ? qtext(profile->name) : QString();
         }},
        {"Profiles", [](R r) -> QVariant { return QVariant::fromValue(profiles(r)); }},
        {"OnACPower", [](R r) -> QVariant { return r.state().monitorValues().batteryState.isOnACPower; }},
        {"BatteryPercent",
         [](R r) -> QVariant {
             const BatteryState& battery = r.state().monitorValues().batteryState;
             return battery.hasBattery ? static_cast<qint32>(battery.percentage) : qint32{-1};
         }},
        {"BatteryMinutesRemaining",
         [](R r) -> QVariant {
             const auto& minutes = r.state().monitorValues().batteryState.estimatedMinutesRemaining;
             return minutes ? static_cast<qint32>(*minutes) : qint32{-1};
         }},
        {"AutomationPaused", [](R r) -> QVariant { return r.state().automationPause().isPaused(); }},
        {"AutomationPausedUntil",
         [](R r) -> QVariant {
             const auto& until = r.state().automationPause().pausedUntil();
             return until && *until != Date::distantFuture() ? unixSeconds(*until) : qlonglong{0};
         }},
        {"EmergencyAlarm",
         [](R r) -> QVariant { return qtext(toString(r.state().emergency().alarmStatus())); }},
        {"RequestPending", [](R r) -> QVariant { return r.state().isRequestPending(); }},
        {"ScreenSaverPrevented",
         [](R r) -> QVariant { return r.app.sleepPrevention().isScreenSaverPreventionActive(); }},
        {"StatusMessage",
         [](R r) -> QVariant { return qtext(r.app.notifications().lastStatusMessage().value_or("")); }},
        {"WiFiStatus", [](R r) -> QVariant { return wifiStatus(r); }},
        {"TrustedNetworks",
         [](R r) -> QVariant {
             QStringList names;
             for (const auto& network : r.state().settings().trustedNetworks) names << qtext(network.ssid);
             return names;
         }},
        {"RunningApps", [](R r) -> QVariant { return r.runningApps; }},
        {"WatchedApps",
         [](R r) -> QVariant {
             QStringList ids;
             for (const auto& app : r.state().processTrigger().watchedApps()) ids << qtext(app.desktopId);
             return ids;
         }},
        {"Blockers", [](R r) -> QVariant { return QVariant::fromValue(blockers(r)); }},
        {"Stayguard", [](R r) -> QVariant { return stayguard(r); }},
        {"Language", [](R r) -> QVariant { return qtext(r.app.texts().languageCode()); }},
        {"StartsAtLogin", [](R r) -> QVariant { return r.startsAtLogin; }},
        {"Settings", [](R r) -> QVariant { return QVariant::fromValue(settingValues(r)); }},
        {"WatchedAppNames", [](R r) -> QVariant { return QVariant::fromValue(watchedAppNames(r)); }},
        {"CurrentSSID",
         [](R r) -> QVariant { return qtext(r.state().monitorValues().currentSSID.value_or("")); }},
        {"AutomationConsent", [](R r) -> QVariant { return automationConsent(r); }},
        {"StayguardGrants", [](R r) -> QVariant { return stayguardGrants(r); }},
        {"StayguardInstallResult", [](R r) -> QVariant { return stayguardInstallResult(r); }},
        {"LidHolders", [](R r) -> QVariant { return QVariant::fromValue(lidHolders(r)); }},
        {"LidHoldersKnown",
         [](R r) -> QVariant { return r.state().lidLock().otherLidHolders().has_value(); }},
    };
    return table;
}

DBusProperties::DBusProperties(AppDelegate& app, Sink sink)
    : app_(app), sink_(std::move(sink)), presenter_(app.state(), app.timer()) {
    AppState& state = app.state();
    auto changed = [this] { schedule(); };
    connections_.push_back(state.activationChanged.connect(changed));
    connections_.push_back(state.settingChanged.connect([this](std::string_view) { schedule(); }));
    connections_.push_back(state.batteryStateChanged.connect(changed));
    connections_.push_back(state.emergency().changed.connect(changed));
    connections_.push_back(app.timer().changed.connect(changed));
    connections_.push_back(state.profileLibrary().profilesChanged.connect(changed));
    connections_.push_back(state.trustedNetworks().wifiStateChanged.connect(changed));
    connections_.push_back(state.automationPause().changed.connect(changed));
    connections_.push_back(state.lidLock().changed.connect(changed));
    connections_.push_back(app.notifications().lastStatusMessageChanged.connect(changed));
    // A notice often comes with a change no other signal tells (the screen saver's prevention failing).
    connections_.push_back(app.notifications().noticeSent.connect(
        [this](const std::string&, const std::string&, const std::string&) { schedule(); }));
    connections_.push_back(app.texts().languageChanged.connect(changed));
    // Launches and exits are heard only while the process monitor follows them for its own reasons
    // (watched applications, the settings window's list): following them for the bus alone would
    // rescan /proc every few seconds for as long as Torvel runs.
    connections_.push_back(state.processTrigger().runningAppsChanged.connect([this] {
        runningAppsStale_ = true;
        schedule();
    }));
    startsAtLogin_ = app.loginItems().isEnabled();
    lastSent_ = snapshot();
    followCountdown();
}

DBusProperties::~DBusProperties() = default;

QStringList DBusProperties::names() {
    QStringList list;
    for (const auto& entry : entries()) list << QString::fromLatin1(entry.name);
    return list;
}

QVariant DBusProperties::value(const QString& name) {
    for (const auto& entry : entries()) {
        if (name != QLatin1String(entry.name)) continue;
        if (name == QLatin1String("RunningApps")) {
            // A reader asks now: read afresh, and let the others hear of it if it changed unnoticed.
            QVariant fresh = readRunningApps(app_);
            if (fresh != runningApps_) {
                runningApps_ = fresh;
                schedule();
            }
            return fresh;
        }
        const auto shown = presenter_.present();
        QVariant now = entry.read(Reading{app_, shown, runningApps_, startsAtLogin_});
        if (now != lastSent_.value(name)) schedule();
        return now;
    }
    return {};
}

QVariantMap DBusProperties::snapshot() {
    if (runningAppsStale_) {
        runningApps_ = readRunningApps(app_);
        runningAppsStale_ = false;
    }
    const auto shown = presenter_.present();
    const Reading reading{app_, shown, runningApps_, startsAtLogin_};
    QVariantMap all;
    for (const auto& entry : entries()) all.insert(QString::fromLatin1(entry.name), entry.read(reading));
    return all;
}

void DBusProperties::loginItemSwitched(bool holds) {
    startsAtLogin_ = holds;
    schedule();
}

void DBusProperties::schedule() {
    if (scheduled_) return;
    scheduled_ = true;
    // Posted, not timed: it runs once the work of this turn is done, however many changes it made.
    QMetaObject::invokeMethod(
        this,
        [this] {
            scheduled_ = false;
            compare();
        },
        Qt::QueuedConnection);
}

void DBusProperties::compare() {
    followCountdown();
    const QVariantMap now = snapshot();
    QVariantMap changed;
    for (auto it = now.begin(); it != now.end(); ++it)
        if (lastSent_.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
    if (changed.isEmpty()) return;
    lastSent_ = now;
    sink_(changed);
}

void DBusProperties::followCountdown() {
    // A tray sets how often the countdown wakes from what its label shows. Without one the bus is the
    // only face: RemainingText and TooltipTitle must still change by the minute while they show time.
    if (!app_.hasTray()) app_.timer().setShownText(presenter_.shownText());
}

}  // namespace torvel
