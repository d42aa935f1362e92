#include "App/DBusService.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <set>

#include <date/date.h>
#include <fmt/format.h>

#include "App/AppDelegate.h"
#include "App/DBusText.h"
#include "Services/LoginItemService.h"
#include "Core/SleepPreventionService.h"
#include "Core/TimerManager.h"
#include "Services/NotificationService.h"
#include "State/AppState.h"
#include "State/Emergency/LowBatteryEmergency.h"
#include "State/Lid/LidLock.h"
#include "State/Network/TrustedNetworkTrigger.h"
#include "State/Processes/ProcessTrigger.h"
#include "State/Profiles/ProfileLibrary.h"
#include "Support/Localization.h"
#include "UI/AutomationActions.h"
#include "UI/SettingsCommands.h"
#include "UI/SettingsTab.h"
#include "UI/URLCommandRouter.h"

namespace torvel {

namespace {



/// `date` as ISO 8601 in the user's zone with its offset ("2026-12-07T18:30:00+01:00"), which a
/// script can both read and show.
QString isoLocal(Date date, const Calendar& calendar) {
    const LocalTime local = calendar.localTime(date);
    const auto day = date::sys_days(date::year{local.year} / local.month / local.day);
    const double wall = static_cast<double>(day.time_since_epoch().count()) * 86400.0 + local.hour * 3600.0 +
                        local.minute * 60.0 + local.second;
    const auto offsetMinutes = static_cast<long>(std::lround((wall - std::floor(date.unixSeconds())) / 60.0));
    const long magnitude = std::labs(offsetMinutes);
    return qtext(fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}{}{:02}:{:02}", local.year, local.month,
                             local.day, local.hour, local.minute, local.second, offsetMinutes < 0 ? '-' : '+',
                             magnitude / 60, magnitude % 60));
}

}  // namespace

QDBusArgument& operator<<(QDBusArgument& out, const DBusRunningApp& app) {
    out.beginStructure();
    out << app.id << app.name << app.pid;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, DBusRunningApp& app) {
    in.beginStructure();
    in >> app.id >> app.name >> app.pid;
    in.endStructure();
    return in;
}

QDBusArgument& operator<<(QDBusArgument& out, const DBusSetting& setting) {
    out.beginStructure();
    out << setting.key << setting.value << setting.type << setting.help;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, DBusSetting& setting) {
    in.beginStructure();
    in >> setting.key >> setting.value >> setting.type >> setting.help;
    in.endStructure();
    return in;
}

void registerDBusTypes() {
    qDBusRegisterMetaType<DBusRunningApp>();
    qDBusRegisterMetaType<QList<DBusRunningApp>>();
    qDBusRegisterMetaType<DBusSetting>();
    qDBusRegisterMetaType<QList<DBusSetting>>();
    qDBusRegisterMetaType<DBusBlocker>();
    qDBusRegisterMetaType<QList<DBusBlocker>>();
    qDBusRegisterMetaType<DBusProfiles>();
    qDBusRegisterMetaType<DBusTexts>();
    qDBusRegisterMetaType<DBusLidHolder>();
    qDBusRegisterMetaType<QList<DBusLidHolder>>();
}

DBusService::DBusService(AppDelegate& app) : app_(app), state_(app.state()) {
    registerDBusTypes();
    properties_ =
        std::make_unique<DBusProperties>(app, [this](const QVariantMap& changed) { announce(changed); });
    noticeConnection_ = app.notifications().noticeSent.connect(
        [this](const std::string& id, const std::string& title, const std::string& body) {
            Q_EMIT Notice(qtext(id), qtext(title), qtext(body));
        });
}

DBusService::~DBusService() = default;

bool DBusService::claimName(QDBusConnection bus, QString& error) {
    if (!bus.isConnected()) {
        error = "no session bus: " + bus.lastError().message();
        return false;
    }
    const auto reply =
        bus.interface()->registerService(kServiceName, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        error = reply.isValid() ? "Torvel is already running" : reply.error().message();
        return false;
    }
    return true;
}

bool DBusService::exportOn(QDBusConnection bus) {
    if (!bus.registerObject(kObjectPath, this,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                QDBusConnection::ExportAllProperties))
        return false;
    bus_ = bus;
    return true;
}

void DBusService::announce(const QVariantMap& changed) {
    if (!bus_) return;  // not exported yet: nobody can have read the values before
    auto signal =
        QDBusMessage::createSignal(kObjectPath, "org.freedesktop.DBus.Properties", "PropertiesChanged");
    signal << QString::fromLatin1(kInterface) << changed << QStringList();
    bus_->send(signal);
}

void DBusService::fail(const char* name, const QString& message) {
    // Outside a bus call (a direct call in a test) there is nobody to answer.
    if (calledFromDBus())
        sendErrorReply(QString::fromLatin1(name),
                       qtext(URLCommandRouter::excerpt(message.toStdString(), kMaxErrorLength)));
}

QString DBusService::activationText(const AppState& state) const {
    // Accepted but not held means the desktop would not take the power assertion, which the
    // refusal text (a battery limit, a safety stop) would misexplain.
    const bool requested = state.isManuallyActivated() || app_.timer().isRunning() || state.activeProfileID();
    if (state.isActive()) return text("intent.dialog.awake");
    if (state.isRequestPending()) return text("intent.dialog.pending");
    return text(requested ? "intent.activate.dialog.failed" : "intent.activate.dialog.vetoed");
}

QString DBusService::text(const char* key) const {
    return qtext(app_.texts().text(key));
}

bool DBusService::Activate(const QString& mode, const QString& value, QString& message) {
    auto invalid = [&](const QString& why) {
        fail(kErrorInvalidArgument, why);
        return false;
    };
    const std::string raw = value.toStdString();
    if (mode == "indefinite") {
        AutomationActions::activate(&state_);
    } else if (mode == "duration") {
        const auto seconds = URLCommandRouter::readSeconds(raw);
        if (!seconds) return invalid("not a positive number of seconds: '" + quoted(value) + "'");
        state_.activate(Duration::custom(*seconds));
    } else if (mode == "until") {
        auto end = URLCommandRouter::parseUntilTime(raw, app_.clock().now(), app_.calendar());
        if (!end) return invalid("not a time of day (HH:MM): '" + quoted(value) + "'");
        state_.activate(Duration::until(*end));
    } else if (mode == "profile") {
        const Profile* profile = state_.profileLibrary().profileNamed(raw);
        if (!profile) {
            message = "no profile named '" + quoted(value) + "'";  // a refusal, not a malformed call
            return false;
        }
        state_.activateProfile(*profile);
    } else {
        return invalid("unknown mode '" + quoted(mode) + "' (indefinite, duration, until or profile)");
    }
    message = activationText(state_);
    return state_.isActive();
}

QString DBusService::Deactivate() {
    const auto reply = AutomationActions::deactivate(&state_);
    return text(reply.dialogKey.c_str());
}

QVariantMap DBusService::GetStatus() {
    QVariantMap status;
    const auto reply = AutomationActions::status(&state_);
    status["active"] = reply.value;
    status["message"] = text(reply.dialogKey.c_str());
    QStringList reasons;
    for (auto reason : sortedForDisplay(state_.activeReasons())) reasons << qtext(rawValue(reason));
    status["reasons"] = reasons;
    if (auto type = state_.currentAssertionType()) status["assertionType"] = qtext(rawValue(*type));
    if (app_.timer().isRunning()) {
        status["remainingSeconds"] = app_.timer().secondsLeftNow();
        if (auto end = app_.timer().targetDate()) status["countdownEnd"] = isoLocal(*end, app_.calendar());
    }
    if (const auto& id = state_.activeProfileID()) {
        status["profileID"] = qtext(id->toString());
        for (const auto& profile : state_.profileLibrary().profiles())
            if (profile.id == *id) status["profile"] = qtext(profile.name);
    }
    const BatteryState& battery = state_.monitorValues().batteryState;
    status["onACPower"] = battery.isOnACPower;
    if (battery.hasBattery) status["batteryPercent"] = static_cast<qint64>(battery.percentage);
    if (battery.estimatedMinutesRemaining)
        status["batteryMinutesRemaining"] = static_cast<qint64>(*battery.estimatedMinutesRemaining);
    const auto& paused = state_.automationPause().pausedUntil();
    status["automationPaused"] = paused.has_value();
    if (paused && *paused != Date::distantFuture())
        status["automationPausedUntil"] = isoLocal(*paused, app_.calendar());
    status["screenSaverPrevented"] = app_.sleepPrevention().isScreenSaverPreventionActive();
    status["requestPending"] = state_.isRequestPending();
    status["emergencyAlarm"] = qtext(toString(state_.emergency().alarmStatus()));
    return status;
}

void DBusService::OpenURL(const QString& url) {
    const auto outcome = app_.router().handle(url.toStdString());
    if (outcome.kind == URLOutcome::Kind::invalid) fail(kErrorInvalidArgument, qtext(outcome.message));
    if (outcome.kind == URLOutcome::Kind::refused) fail(kErrorRefused, activationText(state_));
}

bool DBusService::KeepAwakeWhileAppRuns(const QString& app, QString& message, QString& bundleID) {
    const std::string wanted = app.toStdString();
    // An exact id first; otherwise a part of the name, which must point at one application.
    auto matches = AutomationActions::appsWithIdentifiers(&state_, {wanted});
    if (matches.empty() && !wanted.empty())
        matches = AutomationActions::appsMatching(&state_, wanted, app_.locale());
    if (matches.size() > 1) {
        QStringList names;
        for (const auto& match : matches) names << qtext(match.name) + " (" + qtext(match.desktopId) + ")";
        fail(kErrorInvalidArgument,
             "'" + quoted(app) + "' matches several applications: " + names.join(", "));
        return false;
    }
    const std::string id = matches.empty() ? wanted : matches.front().desktopId;
    const auto reply = AutomationActions::keepAwakeWhileAppRuns(&state_, id);
    const bool heldBack =
        reply.dialogKey == "intent.activate.dialog.vetoed" && state_.monitorValues().isProcessTriggerActive;
    message = text(state_.isRequestPending() ? "intent.dialog.pending"
                   : heldBack                ? "intent.activate.dialog.failed"
                                             : reply.dialogKey.c_str());
    bundleID = matches.empty() ? QString() : qtext(id);
    return reply.dialogKey == "intent.dialog.awake";
}

QList<DBusRunningApp> DBusService::RunningApps() {
    QList<DBusRunningApp> apps;
    for (const auto& app : AutomationActions::suggestedApps(&state_))
        apps.append({qtext(app.desktopId), qtext(app.name), app.pid});
    return apps;
}

QList<DBusSetting> DBusService::ListSettings() {
    QList<DBusSetting> settings;
    for (const auto& line : SettingsCommands::list(state_))
        settings.append({qtext(line.key), qtext(line.value), qtext(line.type), qtext(line.help)});
    return settings;
}

QString DBusService::GetSetting(const QString& key) {
    auto line = SettingsCommands::get(state_, key.toStdString());
    if (!line) {
        fail(kErrorInvalidArgument, "unknown setting '" + quoted(key) + "' (torvel config list shows them)");
        return {};
    }
    return qtext(line->value);
}

QString DBusService::SetSetting(const QString& key, const QString& value) {
    if (auto refusal = SettingsCommands::set(state_, key.toStdString(), value.toStdString())) {
        const bool notSaved = refusal->reason == SettingRefusal::Reason::notSaved;
        fail(notSaved ? kErrorNotSaved : kErrorInvalidArgument, qtext(refusal->message));
        return {};
    }
    return qtext(SettingsCommands::get(state_, key.toStdString())->value);
}

bool DBusService::ShowTray() {
    return app_.showTray();
}

void DBusService::ShowSettings(const QString& tab) {
    const std::string name = tab.toStdString();
    const bool known = std::any_of(kAllSettingsTabs.begin(), kAllSettingsTabs.end(),
                                   [&](SettingsTab each) { return rawValue(each) == name; });
    if (!name.empty() && !known) {
        fail(kErrorInvalidArgument,
             "unknown settings tab '" + quoted(tab) + "' (general, activation, battery, audio or profiles)");
        return;
    }
    if (!app_.showSettings(name)) failWithoutWindows();
}

void DBusService::ShowAbout() {
    if (!app_.showAbout()) failWithoutWindows();
}

DBusTexts DBusService::GetTexts(const QStringList& keys) {
    if (keys.size() > kMaxTextKeys) {
        fail(kErrorInvalidArgument,
             QString("%1 keys asked for; at most %2 a call").arg(keys.size()).arg(kMaxTextKeys));
        return {};
    }
    // Keys are short dotted names ("menu.quit"); anything else cannot name a text and is not looked up.
    auto wellFormed = [](const QString& key) {
        return !key.isEmpty() && key.size() <= 128 && std::all_of(key.begin(), key.end(), [](QChar c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                   c == '_' || c == '-';
        });
    };
    DBusTexts texts;
    for (const auto& key : keys) {
        if (!wellFormed(key) || texts.contains(key)) continue;
        const std::string raw = key.toStdString();
        std::string found = app_.texts().text(raw);
        // The tables answer an unknown key with the key itself.
        if (found != raw) texts.insert(key, qtext(found));
    }
    return texts;
}

bool DBusService::SetStartsAtLogin(bool enabled) {
    // A refusal is logged and told to the user by the service; the answer is what holds.
    const bool holds = app_.loginItems().setEnabled(enabled);
    properties_->loginItemSwitched(holds);
    return holds;
}

bool DBusService::Toggle(QString& message) {
    // What the click did is read from its effect rather than predicted, so the message follows
    // AppState::toggle wherever its rules go.
    const bool endsSession = state_.isManuallyActivated() || app_.timer().isRunning() || state_.activeProfileID();
    const auto pauseBefore = state_.automationPause().pausedUntil();
    state_.toggle();
    if (state_.isActive()) {
        message = text("intent.dialog.awake");  // a start, or automatic triggers that still hold
    } else if (state_.isRequestPending()) {
        message = text("intent.dialog.pending");
    } else if (endsSession) {
        message = text("intent.dialog.off");
    } else if (state_.automationPause().pausedUntil() != pauseBefore) {
        message = text("intent.dialog.paused");
    } else {
        fail(kErrorRefused, activationText(state_));
        return false;
    }
    return state_.isActive();
}

void DBusService::failWithoutWindows() {
    fail(kErrorNoWindows,
         "this Torvel runs without windows (started with --headless, or without a display); "
         "torvel config changes its settings");
}

// ---- What the windows need besides ----

void DBusService::SetProfileOrder(const QStringList& ids) {
    // The same profiles, each once, only in another order: anything else would add or lose one.
    const auto& current = state_.profileLibrary().profiles();
    std::vector<Profile> ordered;
    for (const auto& id : ids) {
        const auto found = std::find_if(current.begin(), current.end(),
                                        [&](const Profile& p) { return qtext(p.id.toString()) == id; });
        const bool repeated = std::any_of(ordered.begin(), ordered.end(), [&](const Profile& p) {
            return found != current.end() && p.id == found->id;
        });
        if (found == current.end() || repeated) {
            fail(kErrorInvalidArgument, "'" + quoted(id) + "' is not a profile, or is named twice");
            return;
        }
        ordered.push_back(*found);
    }
    if (ordered.size() != current.size()) {
        fail(kErrorInvalidArgument, QString("%1 profiles named; there are %2, each must be named once")
                                        .arg(ordered.size())
                                        .arg(current.size()));
        return;
    }
    state_.profileLibrary().setProfiles(std::move(ordered));
}

void DBusService::CheckLidHolders() {
    state_.lidLock().checkLidHolders();
}

void DBusService::RefreshWiFi() {
    state_.trustedNetworks().refreshWiFiState();
}

void DBusService::ResolveAutomationConsent() {
    state_.emergency().resolveAutomationConsent();
}

void DBusService::SetRunningAppsShown(bool shown) {
    // Followed while any client shows them, and never longer than that client is on the bus.
    const QString sender = calledFromDBus() ? message().service() : QString();
    if (sender.isEmpty()) return;
    if (!viewerWatcher_) {
        viewerWatcher_ = new QDBusServiceWatcher(this);
        viewerWatcher_->setConnection(connection());
        viewerWatcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
        connect(viewerWatcher_, &QDBusServiceWatcher::serviceUnregistered, this,
                &DBusService::forgetRunningAppsViewer);
    }
    const bool before = !runningAppsViewers_.isEmpty();
    if (shown && !runningAppsViewers_.contains(sender)) {
        runningAppsViewers_.insert(sender);
        viewerWatcher_->addWatchedService(sender);
    } else if (!shown && runningAppsViewers_.remove(sender)) {
        viewerWatcher_->removeWatchedService(sender);
    }
    const bool now = !runningAppsViewers_.isEmpty();
    if (now != before) state_.processTrigger().setRunningAppsShown(now);
}

void DBusService::forgetRunningAppsViewer(const QString& name) {
    if (!runningAppsViewers_.remove(name)) return;
    if (viewerWatcher_) viewerWatcher_->removeWatchedService(name);
    if (runningAppsViewers_.isEmpty()) state_.processTrigger().setRunningAppsShown(false);
}

}  // namespace torvel
