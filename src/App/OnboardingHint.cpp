#include "App/OnboardingHint.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFile>
#include <QPointer>
#include <cstdlib>

#include "State/AppState.h"
#include "Models/ShownText.h"
#include "Platform/Linux/Doctor/Doctor.h"
#include "Tray/StatusNotifierItem.h"
#include "Platform/NotificationCenter.h"
#include "Services/NotificationService.h"
#include "Support/Localization.h"
#include "UI/TrayHostClick.h"
#include "App/WindowLauncher.h"

namespace torvel {

namespace {

/// The process name of `pid` ("gnome-shell"), cleaned for the log; empty when it cannot be read.
std::string programOf(quint32 pid) {
    QFile comm(QString("/proc/%1/comm").arg(pid));
    if (pid == 0 || !comm.open(QIODevice::ReadOnly)) return {};
    return sanitizedText(comm.read(64).trimmed().toStdString());
}

}  // namespace

OnboardingHint::OnboardingHint(AppState& state, NotificationCenter& notifications, const Localization& texts,
                               WindowLauncher& windows, QDBusConnection bus, LogSink& log)
    : state_(state),
      notifications_(notifications),
      texts_(texts),
      windows_(windows),
      bus_(std::move(bus)),
      log_(log, "Tray") {}

void OnboardingHint::show(const TrayHostPlace& place) {
    if (state_.settings().hasSeenOnboarding) return;
    if (place.kind == TrayHostPlace::Kind::xembed) {
        showBesideIcon(place.iconArea);
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

void OnboardingHint::showBesideIcon(const std::function<QRect()>& iconArea) {
    // The helper tells where the tray docked the icon, and again whenever the tray lays itself out
    // anew (a tray that grows with its icons moves them): the hint follows.
    const QRect area = iconArea ? iconArea() : QRect();
    if (notifiedInstead_) return;
    if (!area.isValid() || area.isEmpty()) {
        if (shown_) return;
        log_.info("The XEmbed tray has not told where the icon is: the first-start hint goes as a notification");
        notifiedInstead_ = true;
        notify({}, true);
        return;
    }
    if (shown_ && area.center() == shownAt_) return;
    if (!shown_)
        log_.info("First-start hint beside the icon at {},{} ({}x{})", area.x(), area.y(), area.width(),
                  area.height());
    // The window process shows it, or moves the one it shows: the icon moved.
    shown_ = true;
    shownAt_ = area.center();
    windows_.open({"onboarding", QString::number(shownAt_.x()), QString::number(shownAt_.y())});
}

void OnboardingHint::notify(const std::string& watcherProgram, bool xembed) {
    const TrayHostClick click =
        xembed ? TrayHostClick::toggles
               : statusNotifierHostClick(watcherProgram, desktopIsGnome(std::getenv("XDG_CURRENT_DESKTOP")));
    const std::string key(onboardingNoticeKey(click));
    log_.info("First-start hint as a notification ({}: {})",
              watcherProgram.empty() ? (xembed ? "XEmbed tray" : "unknown host") : watcherProgram, key);
    // Straight to the server, not through the notification service: the host may answer before the
    // service has heard from the server, and the service would then only keep the text for the menu.
    QPointer<OnboardingHint> alive(this);
    notifications_.add({"onboarding", kNotificationTitle, texts_.text(key), std::nullopt, false,
                        NotificationUrgency::normal},
                       [this, alive](const std::optional<std::string>& error) {
                           if (!alive) return;
                           // Not delivered (no notification server): the hint comes again at the next start.
                           if (error) {
                               log_.info("The first-start hint could not be shown: {}", *error);
                               return;
                           }
                           state_.set(&SettingsValues::hasSeenOnboarding, true);
                       });
}

}  // namespace torvel
