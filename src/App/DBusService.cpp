#include "App/DBusService.h"

#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QStringList>
#include <cmath>
#include <set>

#include "App/AppDelegate.h"
#include "Core/AppState.h"
#include "Core/Localization.h"
#include "Core/TimerManager.h"
#include "UI/AutomationActions.h"
#include "UI/SettingsCommands.h"
#include "UI/URLCommandRouter.h"

namespace torvel {

namespace {

QString qtext(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

/// The dialog after an activation: awake, refused (a battery limit, a safety stop), or accepted but
/// not held because the desktop would not take the power assertion, which the refusal text would
/// misexplain.
const char* activationDialog(const AppState& state, const TimerManager& timer) {
    if (state.isActive()) return "intent.dialog.awake";
    const bool requested = state.isManuallyActivated() || timer.isRunning() || state.activeProfileID();
    return requested ? "intent.activate.dialog.failed" : "intent.activate.dialog.vetoed";
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
}

DBusService::DBusService(AppDelegate& app) : app_(app) {
    registerDBusTypes();
}

bool DBusService::registerOn(QDBusConnection bus, QString& error) {
    if (!bus.isConnected()) {
        error = "no session bus: " + bus.lastError().message();
        return false;
    }
    if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportAllSlots)) {
        error = "cannot export " + QString(kObjectPath);
        return false;
    }
    const auto reply =
        bus.interface()->registerService(kServiceName, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        error = reply.isValid() ? "Torvel is already running" : reply.error().message();
        bus.unregisterObject(kObjectPath);
        return false;
    }
    return true;
}

AppState* DBusService::readyState() {
    AppState* state = AppState::shared();
    if (!state) fail(kErrorNotReady, text("intent.error.not_ready"));
    return state;
}

void DBusService::fail(const char* name, const QString& message) {
    // Outside a bus call (a direct call in a test) there is nobody to answer.
    if (calledFromDBus()) sendErrorReply(QString::fromLatin1(name), message);
}

QString DBusService::text(const char* key) const {
    return qtext(app_.texts().text(key));
}

bool DBusService::Activate(const QString& mode, const QString& value, QString& message) {
    AppState* state = readyState();
    if (!state) return false;
    auto invalid = [&](const QString& why) {
        fail(kErrorInvalidArgument, why);
        return false;
    };
    const std::string raw = value.toStdString();
    if (mode == "indefinite") {
        AutomationActions::activate();
    } else if (mode == "duration") {
        bool ok = false;
        const double seconds = value.toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds <= 0)
            return invalid("not a positive number of seconds: " + value);
        state->activate(Duration::custom(seconds));
    } else if (mode == "until") {
        auto end = URLCommandRouter::parseUntilTime(raw, app_.clock().now(), app_.calendar());
        if (!end) return invalid("not a time of day (HH:MM): " + value);
        state->activate(Duration::until(*end));
    } else if (mode == "profile") {
        const Profile* profile = state->profileNamed(raw);
        if (!profile) {
            message = "no profile named " + value;  // a refusal, not a malformed call
            return false;
        }
        state->activateProfile(*profile);
    } else {
        return invalid("unknown mode " + mode + " (indefinite, duration, until or profile)");
    }
    message = text(activationDialog(*state, app_.timer()));
    return state->isActive();
}

QString DBusService::Deactivate() {
    const auto reply = AutomationActions::deactivate();
    if (!reply.ready) fail(kErrorNotReady, text(reply.dialogKey.c_str()));
    return text(reply.dialogKey.c_str());
}

QVariantMap DBusService::GetStatus() {
    QVariantMap status;
    AppState* state = readyState();
    if (!state) return status;
    const auto reply = AutomationActions::status();
    status["active"] = reply.value;
    status["message"] = text(reply.dialogKey.c_str());
    QStringList reasons;
    for (auto reason : sortedForDisplay(state->activeReasons())) reasons << qtext(rawValue(reason));
    status["reasons"] = reasons;
    if (auto type = state->currentAssertionType()) status["assertionType"] = qtext(rawValue(*type));
    if (app_.timer().isRunning()) status["remainingSeconds"] = app_.timer().secondsLeftNow();
    if (const auto& id = state->activeProfileID()) {
        for (const auto& profile : state->profiles())
            if (profile.id == *id) status["profile"] = QString::fromStdString(profile.name);
    }
    return status;
}

void DBusService::OpenURL(const QString& url) {
    if (readyState()) app_.router().handle(url.toStdString());
}

bool DBusService::KeepAwakeWhileAppRuns(const QString& app, QString& message, QString& bundleID) {
    if (!readyState()) return false;
    const std::string wanted = app.toStdString();
    // An exact id first; otherwise a part of the name, which must point at one application.
    auto matches = AutomationActions::appsWithIdentifiers({wanted});
    if (matches.empty() && !wanted.empty()) matches = AutomationActions::appsMatching(wanted, app_.locale());
    if (matches.size() > 1) {
        QStringList names;
        for (const auto& match : matches) names << qtext(match.name) + " (" + qtext(match.bundleID) + ")";
        fail(kErrorInvalidArgument, "'" + app + "' matches several applications: " + names.join(", "));
        return false;
    }
    const std::string id = matches.empty() ? wanted : matches.front().bundleID;
    const auto reply = AutomationActions::keepAwakeWhileAppRuns(id);
    const bool heldBack = reply.dialogKey == "intent.activate.dialog.vetoed" &&
                          AppState::shared()->monitorValues().isProcessTriggerActive;
    message = text(heldBack ? "intent.activate.dialog.failed" : reply.dialogKey.c_str());
    bundleID = matches.empty() ? QString() : qtext(id);
    return reply.dialogKey == "intent.dialog.awake";
}

QList<DBusRunningApp> DBusService::RunningApps() {
    QList<DBusRunningApp> apps;
    if (!readyState()) return apps;
    for (const auto& app : AutomationActions::suggestedApps())
        apps.append({qtext(app.bundleID), qtext(app.name), app.pid});
    return apps;
}

QList<DBusSetting> DBusService::ListSettings() {
    QList<DBusSetting> settings;
    AppState* state = readyState();
    if (!state) return settings;
    for (const auto& line : SettingsCommands::list(*state))
        settings.append({qtext(line.key), qtext(line.value), qtext(line.type), qtext(line.help)});
    return settings;
}

QString DBusService::GetSetting(const QString& key) {
    AppState* state = readyState();
    if (!state) return {};
    auto line = SettingsCommands::get(*state, key.toStdString());
    if (!line) {
        fail(kErrorInvalidArgument, "unknown setting '" + key + "' (torvel config list shows them)");
        return {};
    }
    return qtext(line->value);
}

QString DBusService::SetSetting(const QString& key, const QString& value) {
    AppState* state = readyState();
    if (!state) return {};
    if (auto refusal = SettingsCommands::set(*state, key.toStdString(), value.toStdString())) {
        const bool notSaved = refusal->reason == SettingRefusal::Reason::notSaved;
        fail(notSaved ? kErrorNotSaved : kErrorInvalidArgument, qtext(refusal->message));
        return {};
    }
    return qtext(SettingsCommands::get(*state, key.toStdString())->value);
}

}  // namespace torvel
