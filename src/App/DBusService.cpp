#include "App/DBusService.h"

#include <QDBusConnectionInterface>
#include <QStringList>
#include <cmath>

#include "App/AppDelegate.h"
#include "Core/AppState.h"
#include "Core/Localization.h"
#include "Core/TimerManager.h"
#include "UI/URLCommandRouter.h"

namespace torvel {

DBusService::DBusService(AppDelegate& app) : app_(app) {}

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

bool DBusService::Activate(const QString& mode, const QString& value, QString& message) {
    auto& state = app_.state();
    auto invalid = [&](const QString& why) {
        message = why;
        return false;
    };
    const std::string text = value.toStdString();
    if (mode == "indefinite") {
        state.activate(Duration::indefinite());
    } else if (mode == "duration") {
        bool ok = false;
        const double seconds = value.toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds <= 0)
            return invalid("not a positive number of seconds: " + value);
        state.activate(Duration::custom(seconds));
    } else if (mode == "until") {
        auto end = URLCommandRouter::parseUntilTime(text, app_.clock().now(), app_.calendar());
        if (!end) return invalid("not a time of day (HH:MM): " + value);
        state.activate(Duration::until(*end));
    } else if (mode == "profile") {
        const Profile* profile = state.profileNamed(text);
        if (!profile) return invalid("no profile named " + value);
        state.activateProfile(*profile);
    } else {
        return invalid("unknown mode " + mode + " (indefinite, duration, until or profile)");
    }
    const bool active = state.isActive();
    message = QString::fromStdString(
        app_.texts().text(active ? "intent.dialog.awake" : "intent.activate.dialog.vetoed"));
    return active;
}

QString DBusService::Deactivate() {
    app_.state().deactivateAll();
    return QString::fromStdString(
        app_.texts().text(app_.state().isActive() ? "intent.dialog.awake" : "intent.dialog.off"));
}

QVariantMap DBusService::GetStatus() {
    const auto& state = app_.state();
    QVariantMap status;
    status["active"] = state.isActive();
    QStringList reasons;
    for (auto reason : sortedForDisplay(state.activeReasons()))
        reasons << QString::fromUtf8(rawValue(reason).data(),
                                     static_cast<qsizetype>(rawValue(reason).size()));
    status["reasons"] = reasons;
    status["message"] = QString::fromStdString(
        app_.texts().text(state.isActive() ? "intent.dialog.awake" : "intent.dialog.off"));
    if (auto type = state.currentAssertionType()) {
        const auto raw = rawValue(*type);
        status["assertionType"] = QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
    }
    if (app_.timer().isRunning()) status["remainingSeconds"] = app_.timer().secondsLeftNow();
    if (const auto& id = state.activeProfileID()) {
        for (const auto& profile : state.profiles())
            if (profile.id == *id) status["profile"] = QString::fromStdString(profile.name);
    }
    return status;
}

void DBusService::OpenURL(const QString& url) {
    app_.router().handle(url.toStdString());
}

}  // namespace torvel
