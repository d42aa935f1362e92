#include "App/OnboardingHint.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFile>
#include <cstdlib>

#include "Core/AppState.h"
#include "Platform/Linux/Doctor.h"
#include "Platform/Linux/StatusNotifierItem.h"
#include "Services/NotificationService.h"
#include "Support/Localization.h"
#include "UI/TrayHostClick.h"
#include "Views/Windows.h"

namespace torvel {

namespace {

/// The process name of `pid` ("gnome-shell"); empty when it cannot be read.
std::string programOf(quint32 pid) {
    QFile comm(QString("/proc/%1/comm").arg(pid));
    if (pid == 0 || !comm.open(QIODevice::ReadOnly)) return {};
    return comm.read(64).trimmed().toStdString();
}

}  // namespace

OnboardingHint::OnboardingHint(AppState& state, NotificationService& notifications, const Localization& texts,
                               Windows& windows, QDBusConnection bus, LogSink& log)
    : state_(state),
      notifications_(notifications),
      texts_(texts),
      windows_(windows),
      bus_(std::move(bus)),
      log_(log, "Tray") {}

void OnboardingHint::show(const TrayHostPlace& place) {
    if (state_.settings().hasSeenOnboarding) return;
    if (place.iconArea) {
        windows_.showOnboarding(place.iconArea);
        return;
    }
    if (place.kind == TrayHostPlace::Kind::xembed) {
        notify({}, true);
        return;
    }
    // Which program hosts the icon: asked of the bus without waiting on it.
    auto call = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                               "org.freedesktop.DBus", "GetConnectionUnixProcessID");
    call << QString::fromLatin1(StatusNotifierItem::kWatcherService);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        const QDBusPendingReply<quint32> reply = *watcher;
        notify(reply.isValid() ? programOf(reply.value()) : std::string(), false);
        watcher->deleteLater();
    });
}

void OnboardingHint::notify(const std::string& watcherProgram, bool xembed) {
    const TrayHostClick click = xembed ? TrayHostClick::toggles
                                       : statusNotifierHostClick(watcherProgram,
                                                                 desktopIsGnome(std::getenv("XDG_CURRENT_DESKTOP")));
    const std::string key(onboardingNoticeKey(click));
    log_.info("First-start hint as a notification ({}: {})",
              watcherProgram.empty() ? (xembed ? "XEmbed tray" : "unknown host") : watcherProgram, key);
    notifications_.send("onboarding", kNotificationTitle, texts_.text(key));
    // Without a notification server the text waits in the menu instead; the hint comes again then.
    if (notifications_.isAuthorized()) state_.set(&SettingsValues::hasSeenOnboarding, true);
}

}  // namespace torvel
